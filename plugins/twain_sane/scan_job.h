#pragma once
// Talking to a device off the user-interface thread. sane_start and sane_read may block for as
// long as the device likes (a lamp warming up, a jammed feeder, a cable pulled mid-scan), so each
// runs on a thread of its own while the calling thread waits, keeping the program's windows
// alive when it has any. A job that makes no progress for StallLimit() is cancelled with
// sane_cancel, which SANE allows from another thread; a backend that still doesn't return within
// a grace time is left behind, and the manager then uses neither that device nor SANE again until
// the job has ended (JobStillRunning).

#include <sane/sane.h>

#include <chrono>
#include <functional>
#include <vector>

namespace vtl::twain_sane {

// $VTL_TWAIN_STALL_MS, else 90 seconds: long enough for a lamp to warm up.
std::chrono::milliseconds StallLimit();

// One page as the device sent it: one frame, or red, green and blue frames of a three-pass
// device.
struct Page {
    SANE_Parameters params {};
    std::vector<unsigned char> planes[3];
};

enum class JobEnd {
    Done,
    Failed, // the device reported an error, or sent no usable picture
    Cancelled, // the user cancelled, or the device did
    Stalled, // no progress for StallLimit(): the device is taken for hung
};

struct JobResult {
    JobEnd end = JobEnd::Failed;
    SANE_Status status = SANE_STATUS_IO_ERROR; // what the device answered (Done and Failed)
};

// Asked while waiting; true cancels the job.
using CancelAsk = std::function<bool()>;

// sane_start on its own thread.
JobResult StartPage(SANE_Handle device, const CancelAsk& cancel);
// Reads the started page to its end, starting the further frames of a three-pass device.
JobResult ReadPage(SANE_Handle device, Page& page, const CancelAsk& cancel);

// A job left behind after a cancel that the backend didn't honour is still inside SANE.
bool JobStillRunning();
// The device of the job left behind, once it has ended, so that it can be closed; null while none
// was left behind or it still runs.
SANE_Handle TakeDeviceOfEndedJob();

// The page as a packed device-independent bitmap: 24 bits for colour, 8-bit grey with a grey
// palette, 1 bit for line art (16-bit samples keep their high byte), rows bottom-up. Zero size
// when the page holds no whole line or is too large for a bitmap.
size_t PackedDibSize(const Page& page);
// Writes PackedDibSize(page) bytes at `out`.
void WritePackedDib(const Page& page, unsigned char* out);

} // namespace vtl::twain_sane
