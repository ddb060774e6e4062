// The program's data source manager: DSM_Entry over SANE, so that every SANE device is a source.
// docs/scanning.md describes the whole; in short:
//
// - MSG_OPENDSM / MSG_CLOSEDSM start and end SANE (sane_init, sane_exit).
// - MSG_GETDEFAULT names the device of $VTL_TWAIN_DEVICE, else the remembered one (the file
//   "twain-source" in the program's data folder, since the library is unloaded after each
//   command), else the first SANE lists. A remembered device that SANE no longer lists is not
//   replaced by another: the source can't be opened and the program says so.
// - MSG_USERSELECT shows the selection window (source_select_dialog.cpp) and remembers the
//   choice; cancelling it keeps the previous one. $VTL_TWAIN_DEVICE, when set, chooses without a
//   window.
// - MSG_OPENDS / MSG_CLOSEDS open and close the device. The source identity's Id is the device's
//   place in SANE's list plus one.
// - MSG_ENABLEDS with ShowUI shows the source's window (source_dialog.cpp); its 取り込み makes
//   the next MSG_PROCESSEVENT report MSG_XFERREADY, its キャンセル MSG_CLOSEDSREQ. Without ShowUI,
//   or in a process without windows, the scan is asked for at once with the device's options as
//   they are.
// - MSG_GET of DAT_IMAGENATIVEXFER starts the page when it isn't yet and reads it (on a thread of
//   its own, scan_job.cpp) into a packed DIB handed over as twain_abi.h describes. A device that
//   fails or stops sending ends the transfer with TWRC_FAILURE and hands over nothing.
// - MSG_ENDXFER counts the pages still to come: a device whose scan source is a document feeder
//   is started again, and it has another page unless SANE answers SANE_STATUS_NO_DOCS; any other
//   device gives one page per 取り込み.

#include "input/twain_abi.h"
#include "sane_options.h"
#include "scan_job.h"
#include "source_dialog.h"
#include "source_select_dialog.h"

#include <sane/sane.h>

#include <QApplication>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

using namespace vtl::input::twain;
using namespace vtl::twain_sane;

namespace {

const char* const kReading = "読み取り中...";
const char* const kNoDocuments = "原稿がありません。";

struct Manager {
    bool open = false;
    TW_HANDLE parent = nullptr; // the program's window, handed over with MSG_OPENDSM
    SANE_Handle device = nullptr;
    std::string deviceName;
    bool enabled = false;
    bool showsWindow = false;
    QPointer<SourceDialog> window;
    bool scanAsked = false; // asked without a window
    bool readyReported = false;
    bool pageStarted = false; // sane_start succeeded and its page is not read yet
    bool stopAfterPage = false; // the page ended the run: no further page is started
    bool nextPageFails = false; // the feeder's next page couldn't start: its transfer fails
    bool closeRequest = false;
    const char* statusAfter = nullptr; // the window's status line when the pages are over
};

Manager g;

std::filesystem::path RememberedFile()
{
    // The program's data folder, found as the program finds it.
    std::filesystem::path folder;
    if (const char* home = std::getenv("VTL_HOME"); home && *home)
        folder = home;
    else if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
        folder = std::filesystem::path(config) / "vtl";
    else if (const char* user = std::getenv("HOME"); user && *user)
        folder = std::filesystem::path(user) / ".config" / "vtl";
    else
        folder = std::filesystem::temp_directory_path() / "vtl";
    return folder / "twain-source";
}

std::string Remembered()
{
    std::ifstream in(RememberedFile());
    std::string name;
    std::getline(in, name);
    return name;
}

// Written beside and renamed over the old file, so that a failed write keeps the previous choice.
void Remember(const std::string& name)
{
    const auto path = RememberedFile();
    std::error_code ignored;
    std::filesystem::create_directories(path.parent_path(), ignored);
    auto temporary = path;
    temporary += ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << name << '\n';
        out.flush();
        if (!out) {
            std::filesystem::remove(temporary, ignored);
            return;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0)
        std::filesystem::remove(temporary, ignored);
}

std::vector<DeviceEntry> Devices()
{
    std::vector<DeviceEntry> devices;
    const SANE_Device** list = nullptr;
    if (sane_get_devices(&list, SANE_FALSE) != SANE_STATUS_GOOD || !list)
        return devices;
    for (int i = 0; list[i]; ++i) {
        const SANE_Device& d = *list[i];
        devices.push_back(
            { d.name ? d.name : "", d.vendor ? d.vendor : "", d.model ? d.model : "" });
    }
    return devices;
}

long IndexOf(const std::vector<DeviceEntry>& devices, const std::string& name)
{
    auto it = std::find_if(
        devices.begin(), devices.end(), [&](const DeviceEntry& d) { return d.name == name; });
    return it == devices.end() ? -1 : it - devices.begin();
}

void Describe(TW_IDENTITY& id, size_t index, const std::string& name)
{
    id = TW_IDENTITY {};
    id.Id = static_cast<TW_UINT32>(index + 1);
    id.Version.MajorNum = 1;
    CopyText(id.Version.Info, "SANE");
    id.ProtocolMajor = 1;
    id.ProtocolMinor = 8;
    id.SupportedGroups = DG_SUPPORTED;
    CopyText(id.Manufacturer, "SANE");
    CopyText(id.ProductFamily, "SANE");
    CopyText(id.ProductName, name.c_str());
}

std::string TestDevice()
{
    const char* wanted = std::getenv("VTL_TWAIN_DEVICE");
    return wanted ? wanted : "";
}

// The index of the default device, or -1 when it isn't there (or SANE lists none).
long DefaultIndex(const std::vector<DeviceEntry>& devices)
{
    if (const std::string wanted = TestDevice(); !wanted.empty())
        return IndexOf(devices, wanted);
    if (const std::string remembered = Remembered(); !remembered.empty())
        return IndexOf(devices, remembered);
    return devices.empty() ? -1 : 0;
}

// Windows need the program's QApplication and its thread.
bool WindowsAvailable()
{
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    return app && app->thread() == QThread::currentThread();
}

QWidget* ParentWidget(TW_HANDLE handle)
{
    if (!handle)
        return nullptr;
    QWidget* widget = QWidget::find(static_cast<WId>(reinterpret_cast<uintptr_t>(handle)));
    return widget ? widget->window() : nullptr;
}

void CloseWindow()
{
    if (g.window) {
        g.window->hide();
        delete g.window.data();
    }
    g.window = nullptr;
    g.showsWindow = false;
}

void CancelScan()
{
    // While a job left behind is still inside the backend, the device is not touched.
    if (g.device && !JobStillRunning())
        sane_cancel(g.device);
    g.pageStarted = false;
}

bool CloseAsked()
{
    return g.closeRequest || (g.showsWindow && (!g.window || g.window->CloseAsked()));
}

bool ScanAsked() { return g.scanAsked || (g.window && g.window->ScanAsked()); }

void WindowBusy(const char* text)
{
    if (g.window)
        g.window->SetBusy(true, QString::fromUtf8(text));
}

// The run's transfers are over: the window waits for the user again, or, without one, the
// source asks to be closed.
void PagesOver(const char* text)
{
    g.readyReported = false;
    g.scanAsked = false;
    if (g.window)
        g.window->Resume(text ? QString::fromUtf8(text) : QString());
    else
        g.closeRequest = true;
}

// The started page (starting it first when needed) as a picture block, or a TWRC code.
TW_UINT16 Transfer(TW_HANDLE* out)
{
    const CancelAsk cancel = [] { return CloseAsked(); };
    if (g.nextPageFails) {
        g.nextPageFails = false;
        g.stopAfterPage = true;
        return TWRC_FAILURE;
    }
    WindowBusy(kReading);
    if (!g.pageStarted) {
        const JobResult started = StartPage(g.device, cancel);
        if (started.end != JobEnd::Done) {
            CancelScan();
            g.stopAfterPage = true;
            if (started.end == JobEnd::Cancelled)
                return TWRC_CANCEL;
            // An empty feeder is no fault of the device: its window says so and waits; without
            // a window the run ends as if the source had been closed.
            if (started.end == JobEnd::Failed && started.status == SANE_STATUS_NO_DOCS) {
                g.statusAfter = kNoDocuments;
                return TWRC_CANCEL;
            }
            return TWRC_FAILURE;
        }
        g.pageStarted = true;
    }
    Page page;
    const JobResult read = ReadPage(g.device, page, cancel);
    g.pageStarted = false;
    if (read.end != JobEnd::Done) {
        CancelScan();
        g.stopAfterPage = true;
        // Some feeders find out that they are empty only when the page is read.
        if (read.end == JobEnd::Failed && read.status == SANE_STATUS_NO_DOCS) {
            g.statusAfter = kNoDocuments;
            return TWRC_CANCEL;
        }
        return read.end == JobEnd::Cancelled ? TWRC_CANCEL : TWRC_FAILURE;
    }
    const size_t size = PackedDibSize(page);
    if (size == 0) {
        g.stopAfterPage = true;
        return TWRC_FAILURE;
    }
    TW_HANDLE block = AllocDibBlock(size);
    if (!block) {
        g.stopAfterPage = true;
        return TWRC_FAILURE;
    }
    WritePackedDib(page, DibBlockBytes(block));
    *out = block;
    return TWRC_XFERDONE;
}

// MSG_ENDXFER: whether another page follows.
bool NextPage()
{
    if (g.pageStarted)
        CancelScan(); // what is left of the current page is dropped
    if (g.stopAfterPage || CloseAsked() || JobStillRunning() || !HasFeeder(g.device)) {
        CancelScan();
        return false;
    }
    const JobResult started = StartPage(g.device, [] { return CloseAsked(); });
    if (started.end == JobEnd::Done) {
        g.pageStarted = true;
        return true;
    }
    CancelScan();
    if (started.end == JobEnd::Cancelled
        || (started.end == JobEnd::Failed && started.status == SANE_STATUS_NO_DOCS))
        return false;
    // A jammed or failing feeder: the pages so far are kept, and the next transfer reports the
    // failure.
    g.nextPageFails = true;
    return true;
}

TW_UINT16 IdentityCall(TW_UINT16 msg, TW_IDENTITY* id)
{
    switch (msg) {
    case MSG_GETDEFAULT: {
        const auto devices = Devices();
        const long index = DefaultIndex(devices);
        if (index < 0)
            return TWRC_FAILURE;
        Describe(*id, static_cast<size_t>(index), devices[static_cast<size_t>(index)].name);
        return TWRC_SUCCESS;
    }
    case MSG_USERSELECT: {
        const auto devices = Devices();
        std::optional<std::string> chosen;
        if (const std::string wanted = TestDevice(); !wanted.empty())
            chosen = wanted;
        else if (WindowsAvailable())
            chosen = ChooseSource(ParentWidget(g.parent), devices, Remembered());
        const long index = chosen ? IndexOf(devices, *chosen) : -1;
        if (index < 0)
            return TWRC_CANCEL;
        Remember(*chosen);
        Describe(*id, static_cast<size_t>(index), *chosen);
        return TWRC_SUCCESS;
    }
    case MSG_OPENDS: {
        if (g.device || JobStillRunning())
            return TWRC_FAILURE;
        const auto devices = Devices();
        const long index = id->Id > 0 ? static_cast<long>(id->Id) - 1 : DefaultIndex(devices);
        if (index < 0 || static_cast<size_t>(index) >= devices.size())
            return TWRC_FAILURE;
        const std::string& name = devices[static_cast<size_t>(index)].name;
        SANE_Handle device = nullptr;
        if (sane_open(name.c_str(), &device) != SANE_STATUS_GOOD || !device)
            return TWRC_FAILURE;
        g.device = device;
        g.deviceName = name;
        Describe(*id, static_cast<size_t>(index), name);
        return TWRC_SUCCESS;
    }
    case MSG_CLOSEDS:
        if (!g.device)
            return TWRC_FAILURE;
        CloseWindow();
        CancelScan();
        // A device still busy with a job left behind is closed once the job has ended.
        if (!JobStillRunning())
            sane_close(g.device);
        g.device = nullptr;
        g.enabled = false;
        return TWRC_SUCCESS;
    default:
        return TWRC_FAILURE;
    }
}

TW_UINT16 ControlCall(TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data)
{
    switch (msg) {
    case MSG_OPENDSM: {
        if (g.open || JobStillRunning())
            return TWRC_FAILURE;
        if (SANE_Handle stale = TakeDeviceOfEndedJob()) {
            // The job left behind has ended since: SANE, kept up for it, is ended now.
            sane_close(stale);
            sane_exit();
        }
        SANE_Int version = 0;
        if (sane_init(&version, nullptr) != SANE_STATUS_GOOD)
            return TWRC_FAILURE;
        g = Manager {};
        g.open = true;
        g.parent = data ? *static_cast<TW_HANDLE*>(data) : nullptr;
        return TWRC_SUCCESS;
    }
    case MSG_CLOSEDSM:
        if (!g.open)
            return TWRC_FAILURE;
        CloseWindow();
        if (g.device) {
            CancelScan();
            if (!JobStillRunning())
                sane_close(g.device);
        }
        if (!JobStillRunning())
            sane_exit();
        g = Manager {};
        return TWRC_SUCCESS;
    default:
        break;
    }
    if (!g.open || !data)
        return TWRC_FAILURE;
    if (dat == DAT_IDENTITY)
        return IdentityCall(msg, static_cast<TW_IDENTITY*>(data));
    if (!g.device)
        return TWRC_FAILURE;
    if (dat == DAT_USERINTERFACE) {
        if (msg == MSG_ENABLEDS) {
            if (g.enabled)
                return TWRC_FAILURE;
            const auto* ui = static_cast<const TW_USERINTERFACE*>(data);
            g.enabled = true;
            g.readyReported = g.pageStarted = g.stopAfterPage = g.nextPageFails = false;
            g.closeRequest = g.scanAsked = false;
            if (ui->ShowUI && WindowsAvailable()) {
                // Parented to the program's window, which deletes it if it goes first.
                auto* window = new SourceDialog(
                    g.device, g.deviceName, ParentWidget(ui->hParent ? ui->hParent : g.parent));
                window->setWindowModality(ui->ModalUI ? Qt::ApplicationModal : Qt::NonModal);
                window->show();
                g.window = window;
                g.showsWindow = true;
            } else {
                g.scanAsked = true;
            }
            return TWRC_SUCCESS;
        }
        if (msg == MSG_DISABLEDS) {
            if (!g.enabled)
                return TWRC_FAILURE;
            CloseWindow();
            CancelScan();
            g.enabled = false;
            return TWRC_SUCCESS;
        }
        return TWRC_FAILURE;
    }
    if (dat == DAT_EVENT && msg == MSG_PROCESSEVENT) {
        auto* event = static_cast<TW_EVENT*>(data);
        event->TWMessage = MSG_NULL;
        if (!g.enabled)
            return TWRC_NOTDSEVENT;
        if (CloseAsked()) {
            event->TWMessage = MSG_CLOSEDSREQ;
            return TWRC_DSEVENT;
        }
        if (ScanAsked() && !g.readyReported) {
            g.readyReported = true;
            event->TWMessage = MSG_XFERREADY;
            return TWRC_DSEVENT;
        }
        return TWRC_NOTDSEVENT;
    }
    if (dat == DAT_PENDINGXFERS) {
        auto* pending = static_cast<TW_PENDINGXFERS*>(data);
        pending->Count = 0;
        pending->EOJ = 0;
        if (!g.enabled)
            return TWRC_FAILURE;
        if (msg == MSG_ENDXFER) {
            if (NextPage())
                pending->Count = 1;
            else
                PagesOver(g.statusAfter);
            g.stopAfterPage = false;
            g.statusAfter = nullptr;
            return TWRC_SUCCESS;
        }
        if (msg == MSG_RESET) {
            CancelScan();
            g.nextPageFails = false;
            PagesOver(nullptr);
            return TWRC_SUCCESS;
        }
        return TWRC_FAILURE;
    }
    return TWRC_FAILURE;
}

} // namespace

extern "C" __attribute__((visibility("default"))) TW_UINT16 DSM_Entry(pTW_IDENTITY origin,
    pTW_IDENTITY dest, TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data)
{
    (void)dest;
    if (!origin)
        return TWRC_FAILURE;
    // Nothing thrown inside the manager crosses into the program.
    try {
        if (group == DG_IMAGE && dat == DAT_IMAGENATIVEXFER && msg == MSG_GET) {
            if (!g.open || !g.device || !g.enabled || !data || !g.readyReported)
                return TWRC_FAILURE;
            return Transfer(static_cast<TW_HANDLE*>(data));
        }
        if (group == DG_CONTROL)
            return ControlCall(dat, msg, data);
    } catch (...) {
        CancelScan();
    }
    return TWRC_FAILURE;
}
