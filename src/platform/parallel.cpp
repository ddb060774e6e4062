#include "platform/parallel.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace vtl::platform {

namespace {
    // A band of fewer rows would spend more on its window's margin than on its own rows.
    constexpr int32_t kMinBandRows = 16;
    // Several bands a thread, so that a thread slowed by other work on the machine leaves its
    // share to the others.
    constexpr int kBandsPerThread = 4;
    // Nobody asks for more; the bound keeps a wild VTL_THREADS from starting thousands.
    constexpr int kMaxThreads = 256;
}

int ThreadCount(int requested)
{
    if (requested >= 1)
        return std::min(requested, kMaxThreads);
    if (const char* text = std::getenv("VTL_THREADS"); text && *text) {
        char* end = nullptr;
        const long n = std::strtol(text, &end, 10);
        if (end && *end == '\0' && n >= 1)
            return int(std::min<long>(n, kMaxThreads));
    }
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : int(std::min<unsigned>(cores, kMaxThreads));
}

void ForEachPart(int parts, int threads, const std::function<void(int part)>& part)
{
    if (parts <= 0)
        return;
    const int count = std::min(ThreadCount(threads), parts);
    if (count == 1) {
        for (int p = 0; p < parts; ++p)
            part(p);
        return;
    }
    std::atomic<int> next { 0 };
    std::atomic<bool> failed { false };
    std::exception_ptr first;
    std::mutex firstLock;
    auto work = [&]() noexcept {
        for (;;) {
            if (failed.load(std::memory_order_relaxed))
                return;
            const int p = next.fetch_add(1);
            if (p >= parts)
                return;
            try {
                part(p);
            } catch (...) {
                std::lock_guard lock(firstLock);
                if (!first)
                    first = std::current_exception();
                failed = true;
            }
        }
    };
    std::vector<std::thread> helpers;
    helpers.reserve(size_t(count - 1));
    for (int i = 1; i < count; ++i) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break; // the system has no thread to spare: the threads there are do all parts
        }
    }
    work();
    for (std::thread& t : helpers)
        t.join();
    if (first)
        std::rethrow_exception(first);
}

int ForEachBand(int32_t rows, uint64_t pixels, int threads,
    const std::function<void(int32_t first, int32_t last)>& band)
{
    if (rows <= 0)
        return 0;
    const int count = pixels < kParallelMinPixels ? 1 : ThreadCount(threads);
    const int64_t bands = count == 1
        ? 1
        : std::clamp<int64_t>(
            std::min<int64_t>(int64_t(count) * kBandsPerThread, rows / kMinBandRows), 1, rows);
    if (bands == 1) {
        band(0, rows);
        return 1;
    }
    ForEachPart(int(bands), count, [&](int b) {
        band(int32_t(rows * int64_t(b) / bands), int32_t(rows * int64_t(b + 1) / bands));
    });
    return int(bands);
}

} // namespace vtl::platform
