#include "scan_job.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <bit>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vtl::twain_sane {

namespace {

    using Clock = std::chrono::steady_clock;
    using namespace std::chrono_literals;

    // A plane larger than this is taken for a device that never ends its frame.
    constexpr size_t kMaxPlaneBytes = size_t(1) << 30;

    struct JobState {
        std::mutex mutex;
        std::condition_variable ended;
        bool done = false;
        SANE_Status status = SANE_STATUS_IO_ERROR;
        std::atomic<uint64_t> progress { 0 };
        SANE_Handle device = nullptr;
        Page page; // what a read job fills; it belongs to the job until the job has ended
    };

    // A job whose backend didn't return after its cancel.
    std::shared_ptr<JobState> g_leftBehind;

    JobResult Run(SANE_Handle device, std::function<SANE_Status(JobState&)> work,
        const CancelAsk& cancel, Page* out)
    {
        if (JobStillRunning())
            return { JobEnd::Failed, SANE_STATUS_DEVICE_BUSY };
        auto state = std::make_shared<JobState>();
        state->device = device;
        std::thread thread([state, work = std::move(work)] {
            SANE_Status status = SANE_STATUS_IO_ERROR;
            try {
                status = work(*state);
            } catch (...) {
                // Memory for the picture could not be had: the job fails like a device error.
                state->page = Page {};
            }
            {
                std::lock_guard lock(state->mutex);
                state->status = status;
                state->done = true;
            }
            state->ended.notify_all();
        });

        const bool events = QCoreApplication::instance() != nullptr;
        const auto stallLimit = StallLimit();
        const auto grace = std::clamp<std::chrono::milliseconds>(stallLimit, 2s, 10s);
        uint64_t seen = state->progress.load();
        auto lastChange = Clock::now();
        Clock::time_point cancelledAt {};
        bool cancelled = false;
        bool stalled = false;
        for (;;) {
            {
                std::unique_lock lock(state->mutex);
                if (state->ended.wait_for(lock, 10ms, [&] { return state->done; }))
                    break;
            }
            if (events)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            const auto now = Clock::now();
            if (const uint64_t progress = state->progress.load(); progress != seen) {
                seen = progress;
                lastChange = now;
            }
            if (!cancelled) {
                if (cancel && cancel())
                    cancelled = true;
                else if (now - lastChange > stallLimit)
                    cancelled = stalled = true;
                if (cancelled) {
                    sane_cancel(device);
                    cancelledAt = now;
                }
            } else if (now - cancelledAt > grace) {
                thread.detach();
                g_leftBehind = state;
                return { stalled ? JobEnd::Stalled : JobEnd::Cancelled, SANE_STATUS_CANCELLED };
            }
        }
        thread.join();
        // Whatever a cancelled job brought back is incomplete and is dropped.
        if (stalled)
            return { JobEnd::Stalled, SANE_STATUS_CANCELLED };
        if (cancelled || state->status == SANE_STATUS_CANCELLED)
            return { JobEnd::Cancelled, SANE_STATUS_CANCELLED };
        if (state->status != SANE_STATUS_GOOD)
            return { JobEnd::Failed, state->status };
        if (out)
            *out = std::move(state->page);
        return { JobEnd::Done, SANE_STATUS_GOOD };
    }

    // One frame to its end.
    SANE_Status ReadFrame(
        SANE_Handle device, std::vector<unsigned char>& bytes, std::atomic<uint64_t>& progress)
    {
        std::vector<unsigned char> buffer(65536);
        for (;;) {
            SANE_Int length = 0;
            const SANE_Status status
                = sane_read(device, buffer.data(), static_cast<SANE_Int>(buffer.size()), &length);
            if (length > 0) {
                const size_t got = std::min(static_cast<size_t>(length), buffer.size());
                if (bytes.size() + got > kMaxPlaneBytes)
                    return SANE_STATUS_NO_MEM;
                bytes.insert(bytes.end(), buffer.data(), buffer.data() + got);
                progress.fetch_add(got);
            }
            if (status == SANE_STATUS_EOF)
                return SANE_STATUS_GOOD;
            if (status != SANE_STATUS_GOOD)
                return status;
        }
    }

    SANE_Status ReadFrames(SANE_Handle device, JobState& state)
    {
        Page& page = state.page;
        if (sane_get_parameters(device, &page.params) != SANE_STATUS_GOOD)
            return SANE_STATUS_IO_ERROR;
        for (int frames = 1;; ++frames) {
            std::vector<unsigned char> bytes;
            const SANE_Status status = ReadFrame(device, bytes, state.progress);
            if (status != SANE_STATUS_GOOD)
                return status;
            const auto format = page.params.format;
            const int plane = format == SANE_FRAME_GREEN ? 1 : format == SANE_FRAME_BLUE ? 2 : 0;
            page.planes[plane] = std::move(bytes);
            if (page.params.last_frame || frames >= 3)
                return SANE_STATUS_GOOD;
            // Three-pass devices send red, green and blue as separate frames.
            if (const SANE_Status started = sane_start(device); started != SANE_STATUS_GOOD)
                return started;
            state.progress.fetch_add(1);
            if (sane_get_parameters(device, &page.params) != SANE_STATUS_GOOD)
                return SANE_STATUS_IO_ERROR;
        }
    }

    struct Layout {
        size_t width = 0;
        size_t lines = 0;
        size_t lineBytes = 0;
        int bits = 0;
        uint32_t colours = 0;
        size_t stride = 0;
        size_t size = 0;
        bool colour = false;
        bool lineArt = false;
        bool threePass = false;
    };

    // The bitmap the page makes, or a zero size when it makes none.
    Layout LayoutOf(const Page& page)
    {
        const SANE_Parameters& p = page.params;
        Layout l;
        if (p.pixels_per_line <= 0 || p.bytes_per_line <= 0 || p.pixels_per_line > 0x100000
            || (p.depth != 1 && p.depth != 8 && p.depth != 16))
            return {};
        l.width = static_cast<size_t>(p.pixels_per_line);
        l.lineBytes = static_cast<size_t>(p.bytes_per_line);
        l.colour = p.format != SANE_FRAME_GRAY;
        l.lineArt = !l.colour && p.depth == 1;
        l.threePass = l.colour && p.format != SANE_FRAME_RGB;
        // A device may claim fewer bytes per line than its pixels need; its lines are not read.
        const size_t channels = l.colour && !l.threePass ? 3 : 1;
        if (l.lineBytes < (l.width * channels * static_cast<size_t>(p.depth) + 7) / 8)
            return {};
        // The lines really sent count, also when the device didn't know their number beforehand.
        l.lines = page.planes[0].size() / l.lineBytes;
        if (l.threePass)
            for (int c = 1; c < 3; ++c)
                l.lines = std::min(l.lines, page.planes[c].size() / l.lineBytes);
        if (l.lines == 0 || l.lines > 0x7FFFFFFF)
            return {};
        l.bits = l.colour ? 24 : l.lineArt ? 1 : 8;
        l.colours = l.colour ? 0 : l.lineArt ? 2 : 256;
        l.stride = (l.width * static_cast<size_t>(l.bits) + 31) / 32 * 4;
        if (l.stride * l.lines > 0xFFFFFFFFu)
            return {};
        l.size = 40 + l.colours * 4 + l.stride * l.lines;
        return l;
    }

} // namespace

std::chrono::milliseconds StallLimit()
{
    if (const char* text = std::getenv("VTL_TWAIN_STALL_MS"); text && *text) {
        char* end = nullptr;
        const long long ms = std::strtoll(text, &end, 10);
        if (end && *end == '\0' && ms > 0)
            return std::chrono::milliseconds(ms);
    }
    return 90s;
}

JobResult StartPage(SANE_Handle device, const CancelAsk& cancel)
{
    return Run(
        device, [device](JobState&) { return sane_start(device); }, cancel, nullptr);
}

JobResult ReadPage(SANE_Handle device, Page& page, const CancelAsk& cancel)
{
    return Run(
        device, [device](JobState& state) { return ReadFrames(device, state); }, cancel, &page);
}

bool JobStillRunning()
{
    if (!g_leftBehind)
        return false;
    std::lock_guard lock(g_leftBehind->mutex);
    return !g_leftBehind->done;
}

SANE_Handle TakeDeviceOfEndedJob()
{
    if (!g_leftBehind || JobStillRunning())
        return nullptr;
    SANE_Handle device = g_leftBehind->device;
    g_leftBehind.reset();
    return device;
}

size_t PackedDibSize(const Page& page) { return LayoutOf(page).size; }

void WritePackedDib(const Page& page, unsigned char* dib)
{
    const Layout l = LayoutOf(page);
    if (l.size == 0)
        return;
    std::memset(dib, 0, l.size);
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(dib + at, &v, 4); };
    auto put16 = [&](size_t at, uint16_t v) { std::memcpy(dib + at, &v, 2); };
    put32(0, 40);
    put32(4, static_cast<uint32_t>(l.width));
    put32(8, static_cast<uint32_t>(l.lines));
    put16(12, 1);
    put16(14, static_cast<uint16_t>(l.bits));
    put32(20, static_cast<uint32_t>(l.stride * l.lines));
    put32(24, 3780);
    put32(28, 3780);
    put32(32, l.colours);
    unsigned char* table = dib + 40;
    if (l.lineArt) {
        // SANE's line art sets a bit for black.
        table[0] = table[1] = table[2] = 255;
    } else {
        for (uint32_t i = 0; i < l.colours; ++i)
            table[i * 4] = table[i * 4 + 1] = table[i * 4 + 2] = static_cast<unsigned char>(i);
    }
    unsigned char* pixels = table + l.colours * 4;
    const int depth = page.params.depth;
    const size_t sampleBytes = depth == 16 ? 2 : 1;
    // The high byte of a 16-bit sample, in the machine's order as SANE delivers it.
    const size_t high = sampleBytes == 2 && std::endian::native == std::endian::little ? 1 : 0;
    // Sample i of a line; colour samples of one bit are a channel fully on or off.
    auto sample = [&](const unsigned char* line, size_t i) -> unsigned char {
        if (depth == 1)
            return (line[i / 8] >> (7 - i % 8)) & 1 ? 255 : 0;
        return line[i * sampleBytes + high];
    };
    for (size_t y = 0; y < l.lines; ++y) {
        unsigned char* row = pixels + (l.lines - 1 - y) * l.stride; // bottom-up
        const unsigned char* src = page.planes[0].data() + y * l.lineBytes;
        if (l.lineArt) {
            std::memcpy(row, src, (l.width + 7) / 8);
        } else if (!l.colour) {
            for (size_t x = 0; x < l.width; ++x)
                row[x] = sample(src, x);
        } else if (!l.threePass) {
            for (size_t x = 0; x < l.width; ++x)
                for (size_t c = 0; c < 3; ++c)
                    row[x * 3 + 2 - c] = sample(src, x * 3 + c);
        } else {
            for (size_t c = 0; c < 3; ++c) {
                const unsigned char* plane = page.planes[c].data() + y * l.lineBytes;
                for (size_t x = 0; x < l.width; ++x)
                    row[x * 3 + 2 - c] = sample(plane, x);
            }
        }
    }
}

} // namespace vtl::twain_sane
