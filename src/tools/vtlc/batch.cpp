#include "tools/vtlc/batch.h"

#include "tools/vtlc/command_line.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

namespace vtl::tools {

namespace {
    struct Result {
        bool finished = false;
        bool ok = false;
        bool usage = false;
        std::string error;
        Notes notes;
    };

    Result RunOne(const BatchJob& job, const FileWork& work)
    {
        Result r;
        try {
            work(job, r.notes);
            r.ok = true;
        } catch (const UsageError& e) {
            r.usage = true;
            r.error = e.message;
        } catch (const std::bad_alloc&) {
            r.error = "not enough memory";
        } catch (const std::exception& e) {
            r.error = e.what();
        } catch (...) {
            r.error = "failed";
        }
        r.finished = true;
        return r;
    }

    std::string Clock(double seconds)
    {
        const long s = std::lround(std::max(0.0, seconds));
        char text[32];
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
        return text;
    }
}

unsigned DefaultJobs() { return std::max(1u, std::thread::hardware_concurrency()); }

int RunBatch(const std::vector<BatchJob>& jobs, const FileWork& work, const BatchSettings& settings,
    std::FILE* err)
{
    const size_t count = jobs.size();
    std::vector<Result> results(count);
    std::mutex mutex;
    std::condition_variable changed;
    std::atomic<size_t> next { 0 };
    std::atomic<bool> stop { false };
    size_t running = std::min<size_t>(std::max(1u, settings.jobs), count);

    auto worker = [&] {
        for (size_t i; !stop && (i = next++) < count;) {
            Result r = RunOne(jobs[i], work);
            if (r.usage)
                stop = true;
            std::lock_guard lock(mutex);
            results[i] = std::move(r);
            changed.notify_all();
        }
        std::lock_guard lock(mutex);
        --running;
        changed.notify_all();
    };
    std::vector<std::jthread> threads;
    for (size_t t = 0; t < running; ++t)
        threads.emplace_back(worker);

    // The printing side: each result once all before it are out.
    const auto start = std::chrono::steady_clock::now();
    size_t printed = 0, failed = 0;
    bool lineShown = false;
    auto clearLine = [&] {
        if (lineShown)
            std::fputs("\r\033[K", err);
        lineShown = false;
    };
    std::unique_lock lock(mutex);
    while (printed < count) {
        changed.wait(lock, [&] { return results[printed].finished || running == 0; });
        if (!results[printed].finished)
            break; // stopped by a usage error
        while (printed < count && results[printed].finished) {
            const Result& r = results[printed];
            const BatchJob& job = jobs[printed];
            clearLine();
            if (!r.ok)
                ++failed;
            else if (settings.verbose && !settings.quiet)
                std::fprintf(err, "%s -> %s\n", job.input.c_str(), job.output.c_str());
            if (!settings.quiet)
                for (const std::string& note : r.notes)
                    std::fprintf(err, "%s\n", note.c_str());
            ++printed;
        }
        if (settings.progress && !settings.quiet && printed < count) {
            const double elapsed
                = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::fprintf(err, "\r\033[K%zu/%zu files, %zu failed, %s left", printed, count, failed,
                Clock(elapsed / double(printed) * double(count - printed)).c_str());
            lineShown = true;
        }
        std::fflush(err);
    }
    lock.unlock();
    threads.clear(); // joins
    clearLine();

    for (const Result& r : results)
        if (r.usage) {
            std::fprintf(err, "vtlc: %s\n", r.error.c_str());
            return 2;
        }
    if (failed == 0)
        return 0;
    std::fprintf(err, "vtlc: %zu of %zu files failed:\n", failed, count);
    for (size_t i = 0; i < count; ++i) {
        if (results[i].ok)
            continue;
        const std::string& message = results[i].error;
        const std::string& input = jobs[i].input;
        // Most readers' messages name the file already.
        if (message.compare(0, input.size(), input) == 0)
            std::fprintf(err, "  %s\n", message.c_str());
        else
            std::fprintf(err, "  %s: %s\n", input.c_str(), message.c_str());
    }
    return 1;
}

} // namespace vtl::tools
