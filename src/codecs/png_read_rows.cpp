// The rows of a picture without interlace: inflated a few at a time into a small ring of raw rows,
// then unfiltered and converted into the bitmap. On a large picture the second half runs on a
// second thread while the calling thread inflates the next rows, so that a decode costs little
// more than its inflate. Either way the bytes that reach the bitmap are the same.
//
// Rows live in the ring slot of their number modulo its size. A row is unfiltered in its slot
// against the row before it, still in its own slot, so a slot is free again only when the row
// after it is done: the inflate may run at most ring - 1 rows ahead of the conversion.
//
// Only the calling thread reads the stream, reports progress and throws the reader's messages
// (it checks each row's filter type as soon as the row is inflated, so a bad one fails in the
// same way and at the same row on one thread or two). The second thread touches nothing but the
// ring and the bitmap's rows; whatever it throws is passed to the calling thread, and whatever
// the calling thread throws (a read error, a cancelled load) stops and joins it first.

#include "codecs/png_errors.h"
#include "codecs/png_format.h"
#include "codecs/png_read_stream.h"
#include "platform/parallel.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace vtl::codecs {

namespace {

    // About this many bytes of image data are inflated at a time: few enough rows to stay in the
    // processor's cache beside the conversion, enough that zlib's per-call work is spread thin.
    constexpr uint64_t kBatchBytes = 64 * 1024;
    constexpr uint32_t kMaxBatchRows = 16;

    bool FilterTypeKnown(uint8_t type) { return type <= uint8_t(png::FilterType::Paeth); }

    // What the two threads share: how far each has got, and how the second one ended.
    struct RowHandoff {
        std::mutex lock;
        std::condition_variable changed;
        uint64_t inflated = 0; // rows in the ring with their filter type checked
        uint64_t finished = 0; // rows in the bitmap
        // While the calling thread waits: the rows that must be finished before it goes on, so
        // that the second thread wakes it once rather than at every row.
        uint64_t awaited = 0;
        bool stop = false; // the calling thread gave up
        std::exception_ptr failure; // what the second thread threw
    };

} // namespace

uint32_t TPngReadStream::RowBatch(uint64_t rowBytes)
{
    return static_cast<uint32_t>(
        std::clamp<uint64_t>(kBatchBytes / std::max<uint64_t>(rowBytes, 1), 1, kMaxBatchRows));
}

bool TPngReadStream::UseSecondThread() const
{
    const int asked = m_options.threads;
    if (asked == 1)
        return false;
    if (asked >= 2)
        return true;
    const uint64_t pixels = uint64_t(m_result.header.width) * m_result.header.height;
    return pixels >= platform::kParallelMinPixels && platform::ThreadCount() >= 2;
}

void TPngReadStream::ReadRows(uint64_t& left)
{
    const uint32_t height = m_result.header.height;
    const size_t rowBytes = m_rowBytes + 1;
    const uint32_t batch = RowBatch(rowBytes);
    const uint32_t slots = RingRows(rowBytes);
    std::vector<uint8_t> ring(size_t(slots) * rowBytes);
    const std::vector<uint8_t> zeroRow(rowBytes); // above the first row
    auto slot = [&](uint64_t row) { return ring.data() + size_t(row % slots) * rowBytes; };
    auto finish = [&](uint64_t row) {
        FinishRow(slot(row), row == 0 ? zeroRow.data() : slot(row - 1), uint32_t(row));
    };

    RowHandoff handoff;
    std::thread second;
    if (UseSecondThread()) {
        try {
            second = std::thread([&]() noexcept {
                uint64_t done = 0;
                try {
                    while (done < height) {
                        uint64_t ready = 0;
                        {
                            std::unique_lock hold(handoff.lock);
                            handoff.changed.wait(
                                hold, [&] { return handoff.stop || handoff.inflated > done; });
                            if (handoff.stop)
                                return;
                            ready = handoff.inflated;
                        }
                        for (; done < ready; ++done) {
                            finish(done);
                            bool wake = false;
                            {
                                std::lock_guard hold(handoff.lock);
                                handoff.finished = done + 1;
                                wake = handoff.awaited != 0 && done + 1 >= handoff.awaited;
                            }
                            if (wake)
                                handoff.changed.notify_all();
                        }
                    }
                } catch (...) {
                    {
                        std::lock_guard hold(handoff.lock);
                        handoff.failure = std::current_exception();
                    }
                    handoff.changed.notify_all();
                }
            });
        } catch (const std::system_error&) {
            // No thread to spare: the calling thread does it all.
        }
    }
    // Whatever ends this function, the second thread has stopped before the ring goes away.
    struct Join {
        std::thread& thread;
        RowHandoff& handoff;
        ~Join()
        {
            if (!thread.joinable())
                return;
            {
                std::lock_guard hold(handoff.lock);
                handoff.stop = true;
            }
            handoff.changed.notify_all();
            thread.join();
        }
    } join { second, handoff };
    const bool beside = second.joinable();

    uint64_t inflated = 0;
    uint64_t finished = 0; // on one thread
    while (inflated < height) {
        // A batch runs to the end of the ring at most, so that it is inflated in one piece.
        const auto count = static_cast<uint32_t>(
            std::min<uint64_t>({ batch, height - inflated, slots - inflated % slots }));
        if (beside) {
            // Wait until the rows whose slots the batch takes, and the one before them, are done.
            std::unique_lock hold(handoff.lock);
            const uint64_t end = inflated + count + 1;
            handoff.awaited = end > slots ? end - slots : 0;
            handoff.changed.wait(
                hold, [&] { return handoff.failure || handoff.finished >= handoff.awaited; });
            handoff.awaited = 0;
            if (handoff.failure)
                std::rethrow_exception(handoff.failure);
        }
        InflateInto(std::span(slot(inflated), size_t(count) * rowBytes), left);
        for (uint32_t i = 0; i < count; ++i)
            if (!FilterTypeKnown(slot(inflated + i)[0]))
                throw EPngError(kPngReadError);
        inflated += count;
        if (beside) {
            {
                std::lock_guard hold(handoff.lock);
                handoff.inflated = inflated;
            }
            handoff.changed.notify_all();
        } else {
            for (; finished < inflated; ++finished)
                finish(finished);
        }
        Progress().Step(inflated, height);
    }
    if (beside) {
        std::unique_lock hold(handoff.lock);
        handoff.awaited = height;
        handoff.changed.wait(hold, [&] { return handoff.failure || handoff.finished == height; });
        if (handoff.failure)
            std::rethrow_exception(handoff.failure);
    }
}

} // namespace vtl::codecs
