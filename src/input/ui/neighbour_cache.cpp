#include "input/ui/neighbour_cache.h"

#include <QRunnable>
#include <QThread>
#include <QThreadPool>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vtl::input::ui {

namespace fs = std::filesystem;

namespace {

    std::atomic<int> g_running { 0 };
    std::atomic<int> g_finished { 0 };

    // What tells a file's contents apart without reading them: a file rewritten since it was
    // decoded has another size or modification time (or is another file under the same name).
    struct FileIdentity {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        time_t seconds = 0;
        long nanoseconds = 0;
        friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
    };

    std::optional<FileIdentity> Identify(const fs::path& file)
    {
        struct stat info { };
        if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            return std::nullopt;
        return FileIdentity { info.st_dev, info.st_ino, info.st_size, info.st_mtim.tv_sec,
            info.st_mtim.tv_nsec };
    }

    // The workers: two, one per neighbour, and never more than the machine has cores.
    // At the program's end the pool waits for the decodes still running; their documents are
    // gone by then and abandoned them.
    QThreadPool& Workers()
    {
        static QThreadPool pool;
        static const bool sized = [] {
            pool.setMaxThreadCount(std::clamp(QThread::idealThreadCount(), 1, 2));
            return true;
        }();
        (void)sized;
        return pool;
    }

} // namespace

struct NeighbourCache::Job {
    fs::path file;
    input::DecodeContext context;
    std::atomic<bool> abandoned { false };

    std::mutex mutex;
    std::condition_variable finished;
    bool done = false; // guarded by mutex, as are the two below
    std::optional<platform::TBitmap> picture;
    FileIdentity identity;

    void Run()
    {
        // Work ahead must not slow what the user waits for: the window thread paints first.
        thread_local const bool niced = ::setpriority(PRIO_PROCESS, ::gettid(), 10) == 0;
        (void)niced;
        std::optional<platform::TBitmap> decoded;
        std::optional<FileIdentity> before;
        if (!abandoned) {
            // Whatever goes wrong here is the step's to find out again and report: the picture
            // is simply not there.
            try {
                before = Identify(file);
                if (before) {
                    input::PluginRegistry builtIn(input::PluginFolders {});
                    platform::TBitmap bitmap;
                    const input::FileOpenResult result
                        = input::OpenPictureFile(builtIn, file, bitmap, context);
                    // A file rewritten while it was read may have given a mixture.
                    if (result.outcome == input::FileOpenOutcome::Picture
                        && Identify(file) == before && !abandoned)
                        decoded = std::move(bitmap);
                }
            } catch (...) {
                decoded.reset();
            }
        }
        {
            std::lock_guard lock(mutex);
            done = true;
            if (decoded) {
                picture = std::move(decoded);
                identity = *before;
                ++g_finished;
            }
        }
        finished.notify_all();
        --g_running;
    }
};

NeighbourCache::~NeighbourCache() { Clear(); }

void NeighbourCache::Keep(const std::vector<fs::path>& files, const input::DecodeContext& context)
{
    std::erase_if(m_jobs, [&files](const std::shared_ptr<Job>& job) {
        if (std::find(files.begin(), files.end(), job->file) != files.end())
            return false;
        job->abandoned = true;
        return true;
    });
    for (const fs::path& file : files) {
        const bool held = std::any_of(m_jobs.begin(), m_jobs.end(),
            [&file](const std::shared_ptr<Job>& job) { return job->file == file; });
        if (held)
            continue;
        auto job = std::make_shared<Job>();
        job->file = file;
        job->context = context;
        // A worker has no status panel, and it stops at the next progress report once the
        // picture is no longer wanted.
        job->context.status = nullptr;
        Job* self = job.get();
        job->context.cancelled = [self] { return self->abandoned.load(); };
        ++g_running;
        // The worker holds the job until it ends; this cache may be gone by then.
        Workers().start(QRunnable::create([job] { job->Run(); }));
        m_jobs.push_back(std::move(job));
    }
}

std::optional<platform::TBitmap> NeighbourCache::Take(const fs::path& file)
{
    auto found = std::find_if(m_jobs.begin(), m_jobs.end(),
        [&file](const std::shared_ptr<Job>& job) { return job->file == file; });
    if (found == m_jobs.end())
        return std::nullopt;
    std::shared_ptr<Job> job = *found;
    m_jobs.erase(found);
    std::unique_lock lock(job->mutex);
    // A decode under way is the same work the step would start: waiting for it is never slower.
    job->finished.wait(lock, [&job] { return job->done; });
    if (!job->picture || Identify(file) != job->identity)
        return std::nullopt;
    return std::move(job->picture);
}

void NeighbourCache::Clear()
{
    for (const auto& job : m_jobs)
        job->abandoned = true;
    m_jobs.clear();
}

std::vector<fs::path> NeighbourCache::Files() const
{
    std::vector<fs::path> files;
    for (const auto& job : m_jobs)
        files.push_back(job->file);
    return files;
}

bool NeighbourCache::Ready(const fs::path& file) const
{
    for (const auto& job : m_jobs) {
        if (job->file != file)
            continue;
        std::lock_guard lock(job->mutex);
        return job->done && job->picture.has_value();
    }
    return false;
}

int NeighbourCache::RunningDecodes() { return g_running; }
int NeighbourCache::FinishedDecodes() { return g_finished; }

} // namespace vtl::input::ui
