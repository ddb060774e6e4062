// The program's data source manager: DSM_Entry over SANE, so that every SANE device is a source.
//
// - MSG_OPENDSM / MSG_CLOSEDSM start and end SANE (sane_init, sane_exit).
// - MSG_GETDEFAULT names the remembered device when SANE still lists it, else the first device.
// - MSG_USERSELECT has no window of its own: $VTL_TWAIN_DEVICE names the device to choose. When
//   it names a listed device the choice is remembered (in the file "twain-source" of the program's
//   data folder, since the library is unloaded after each command); when it is unset or names no
//   device, the selection counts as cancelled and the default stays.
// - MSG_OPENDS / MSG_CLOSEDS open and close the device. The source identity's Id is the device's
//   place in SANE's list plus one.
// - MSG_ENABLEDS starts the first scan with the device's options as they are; the next
//   MSG_PROCESSEVENT reports MSG_XFERREADY. When no more pictures can come (the scan could not
//   start, the feeder is empty, the last page was ended) MSG_PROCESSEVENT reports MSG_CLOSEDSREQ,
//   as the source's own window would when closed.
// - MSG_GET of DAT_IMAGENATIVEXFER reads one picture into a packed DIB (24 bits for colour, 8-bit
//   grey with a grey palette, 1 bit for line art; 16-bit samples keep their high byte), rows
//   bottom-up, handed over as twain_abi.h describes.
// - MSG_ENDXFER counts the pages still to come: a device whose scan source names a document
//   feeder is started again, and it has another page unless SANE answers SANE_STATUS_NO_DOCS; any
//   other device gives one page per enabling.

#include "input/twain_abi.h"

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace vtl::input::twain;

namespace {

struct Manager {
    bool open = false;
    SANE_Handle device = nullptr;
    bool enabled = false;
    bool frameStarted = false; // sane_start succeeded and its picture is not read yet
    bool readyReported = false;
    bool closeRequest = false;
};

Manager g;

std::filesystem::path RememberedFile()
{
    std::filesystem::path folder;
    if (const char* home = std::getenv("VTL_HOME"); home && *home)
        folder = home;
    else if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
        folder = std::filesystem::path(config) / "vtl";
    else if (const char* user = std::getenv("HOME"); user && *user)
        folder = std::filesystem::path(user) / ".config" / "vtl";
    else
        return {};
    return folder / "twain-source";
}

std::string Remembered()
{
    const auto path = RememberedFile();
    if (path.empty())
        return {};
    std::ifstream in(path);
    std::string name;
    std::getline(in, name);
    return name;
}

void Remember(const std::string& name)
{
    const auto path = RememberedFile();
    if (path.empty())
        return;
    std::error_code ignored;
    std::filesystem::create_directories(path.parent_path(), ignored);
    std::ofstream(path) << name << '\n';
}

std::vector<std::string> DeviceNames()
{
    std::vector<std::string> names;
    const SANE_Device** list = nullptr;
    if (sane_get_devices(&list, SANE_FALSE) != SANE_STATUS_GOOD || !list)
        return names;
    for (int i = 0; list[i]; ++i)
        names.emplace_back(list[i]->name ? list[i]->name : "");
    return names;
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

// The index of the default device, or -1 when SANE lists none.
long DefaultIndex(const std::vector<std::string>& names)
{
    if (names.empty())
        return -1;
    const std::string remembered = Remembered();
    auto it = std::find(names.begin(), names.end(), remembered);
    return it == names.end() ? 0 : it - names.begin();
}

bool HasFeeder(SANE_Handle device)
{
    for (SANE_Int n = 1;; ++n) {
        const SANE_Option_Descriptor* d = sane_get_option_descriptor(device, n);
        if (!d)
            return false;
        if (!d->name || std::strcmp(d->name, SANE_NAME_SCAN_SOURCE) != 0
            || d->type != SANE_TYPE_STRING || d->size <= 0 || !SANE_OPTION_IS_ACTIVE(d->cap))
            continue;
        std::string value(static_cast<size_t>(d->size), '\0');
        if (sane_control_option(device, n, SANE_ACTION_GET_VALUE, value.data(), nullptr)
            != SANE_STATUS_GOOD)
            return false;
        value.resize(std::strlen(value.c_str()));
        std::transform(value.begin(), value.end(), value.begin(),
            [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return value.find("adf") != std::string::npos || value.find("feeder") != std::string::npos
            || value.find("duplex") != std::string::npos;
    }
}

void CancelScan()
{
    if (g.device)
        sane_cancel(g.device);
    g.frameStarted = false;
}

// Reads one frame to its end; the status of the last read.
SANE_Status ReadFrame(std::vector<unsigned char>& bytes)
{
    unsigned char buffer[65536];
    for (;;) {
        SANE_Int length = 0;
        const SANE_Status status = sane_read(g.device, buffer, sizeof buffer, &length);
        if (length > 0)
            bytes.insert(bytes.end(), buffer, buffer + length);
        if (status == SANE_STATUS_EOF)
            return SANE_STATUS_GOOD;
        if (status != SANE_STATUS_GOOD)
            return status;
    }
}

// The started picture as a packed DIB in a block, or a TWRC code.
TW_UINT16 Acquire(TW_HANDLE* out)
{
    SANE_Parameters p {};
    if (sane_get_parameters(g.device, &p) != SANE_STATUS_GOOD)
        return TWRC_FAILURE;
    const int width = p.pixels_per_line;
    if (width <= 0 || p.bytes_per_line <= 0 || (p.depth != 1 && p.depth != 8 && p.depth != 16))
        return TWRC_FAILURE;
    const bool colour = p.format != SANE_FRAME_GRAY;
    const bool lineArt = !colour && p.depth == 1;
    const size_t sampleBytes = p.depth == 16 ? 2 : 1;

    // Three-pass devices send red, green and blue as separate frames; the others one frame.
    std::vector<unsigned char> planes[3];
    int frames = 0;
    for (;;) {
        std::vector<unsigned char> bytes;
        const SANE_Status status = ReadFrame(bytes);
        if (status == SANE_STATUS_CANCELLED)
            return TWRC_CANCEL;
        if (status != SANE_STATUS_GOOD)
            return TWRC_FAILURE;
        const int plane = p.format == SANE_FRAME_GREEN ? 1 : p.format == SANE_FRAME_BLUE ? 2 : 0;
        planes[plane] = std::move(bytes);
        ++frames;
        if (p.last_frame || frames >= 3)
            break;
        if (sane_start(g.device) != SANE_STATUS_GOOD || sane_get_parameters(g.device, &p) != SANE_STATUS_GOOD)
            return TWRC_FAILURE;
    }
    g.frameStarted = false;
    const bool threePass = colour && p.format != SANE_FRAME_RGB;
    const size_t lineBytes = static_cast<size_t>(p.bytes_per_line);
    const size_t lines = planes[0].size() / lineBytes; // also when the device didn't know
    if (lines == 0)
        return TWRC_FAILURE;
    if (threePass && (planes[1].size() < lines * lineBytes || planes[2].size() < lines * lineBytes))
        return TWRC_FAILURE;

    const int bits = colour ? 24 : lineArt ? 1 : 8;
    const uint32_t colours = colour ? 0 : lineArt ? 2 : 256;
    const size_t stride = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
    const size_t size = 40 + colours * 4 + stride * lines;
    if (lines > 0x7FFFFFFF || stride * lines > 0xFFFFFFFFu)
        return TWRC_FAILURE;
    TW_HANDLE block = AllocDibBlock(size);
    if (!block)
        return TWRC_FAILURE;
    unsigned char* dib = DibBlockBytes(block);
    std::memset(dib, 0, size);
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(dib + at, &v, 4); };
    auto put16 = [&](size_t at, uint16_t v) { std::memcpy(dib + at, &v, 2); };
    put32(0, 40);
    put32(4, static_cast<uint32_t>(width));
    put32(8, static_cast<uint32_t>(lines));
    put16(12, 1);
    put16(14, static_cast<uint16_t>(bits));
    put32(20, static_cast<uint32_t>(stride * lines));
    put32(24, 3780);
    put32(28, 3780);
    put32(32, colours);
    unsigned char* table = dib + 40;
    if (lineArt) {
        // SANE's line art sets a bit for black.
        table[0] = table[1] = table[2] = 255;
    } else {
        for (uint32_t i = 0; i < colours; ++i)
            table[i * 4] = table[i * 4 + 1] = table[i * 4 + 2] = static_cast<unsigned char>(i);
    }
    unsigned char* pixels = table + colours * 4;
    // The high byte of a 16-bit sample, in the machine's order as SANE delivers it.
    const size_t high = sampleBytes == 2 && std::endian::native == std::endian::little ? 1 : 0;
    // Sample i of a line; colour samples of one bit are a channel fully on or off.
    auto sample = [&](const unsigned char* line, size_t i) -> unsigned char {
        if (p.depth == 1)
            return (line[i / 8] >> (7 - i % 8)) & 1 ? 255 : 0;
        return line[i * sampleBytes + high];
    };
    for (size_t y = 0; y < lines; ++y) {
        unsigned char* row = pixels + (lines - 1 - y) * stride; // bottom-up
        const unsigned char* src = planes[0].data() + y * lineBytes;
        if (lineArt) {
            std::memcpy(row, src, std::min(lineBytes, (static_cast<size_t>(width) + 7) / 8));
        } else if (!colour) {
            for (size_t x = 0; x < static_cast<size_t>(width); ++x)
                row[x] = sample(src, x);
        } else if (!threePass) {
            for (size_t x = 0; x < static_cast<size_t>(width); ++x)
                for (size_t c = 0; c < 3; ++c)
                    row[x * 3 + 2 - c] = sample(src, x * 3 + c);
        } else {
            for (size_t c = 0; c < 3; ++c) {
                const unsigned char* plane = planes[c].data() + y * lineBytes;
                for (size_t x = 0; x < static_cast<size_t>(width); ++x)
                    row[x * 3 + 2 - c] = sample(plane, x);
            }
        }
    }
    *out = block;
    return TWRC_XFERDONE;
}

TW_UINT16 ControlCall(TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data)
{
    switch (msg) {
    case MSG_OPENDSM: {
        if (g.open)
            return TWRC_FAILURE;
        SANE_Int version = 0;
        if (sane_init(&version, nullptr) != SANE_STATUS_GOOD)
            return TWRC_FAILURE;
        g = Manager {};
        g.open = true;
        return TWRC_SUCCESS;
    }
    case MSG_CLOSEDSM:
        if (!g.open)
            return TWRC_FAILURE;
        if (g.device) {
            CancelScan();
            sane_close(g.device);
        }
        sane_exit();
        g = Manager {};
        return TWRC_SUCCESS;
    default:
        break;
    }
    if (!g.open || !data)
        return TWRC_FAILURE;
    if (dat == DAT_IDENTITY) {
        auto* id = static_cast<TW_IDENTITY*>(data);
        switch (msg) {
        case MSG_GETDEFAULT: {
            const auto names = DeviceNames();
            const long index = DefaultIndex(names);
            if (index < 0)
                return TWRC_FAILURE;
            Describe(*id, static_cast<size_t>(index), names[static_cast<size_t>(index)]);
            return TWRC_SUCCESS;
        }
        case MSG_USERSELECT: {
            const auto names = DeviceNames();
            const char* wanted = std::getenv("VTL_TWAIN_DEVICE");
            if (!wanted || !*wanted)
                return TWRC_CANCEL;
            auto it = std::find(names.begin(), names.end(), std::string(wanted));
            if (it == names.end())
                return TWRC_CANCEL;
            Remember(*it);
            Describe(*id, static_cast<size_t>(it - names.begin()), *it);
            return TWRC_SUCCESS;
        }
        case MSG_OPENDS: {
            if (g.device)
                return TWRC_FAILURE;
            const auto names = DeviceNames();
            long index = id->Id > 0 ? static_cast<long>(id->Id) - 1 : DefaultIndex(names);
            if (index < 0 || static_cast<size_t>(index) >= names.size())
                return TWRC_FAILURE;
            SANE_Handle device = nullptr;
            if (sane_open(names[static_cast<size_t>(index)].c_str(), &device) != SANE_STATUS_GOOD)
                return TWRC_FAILURE;
            g.device = device;
            Describe(*id, static_cast<size_t>(index), names[static_cast<size_t>(index)]);
            return TWRC_SUCCESS;
        }
        case MSG_CLOSEDS:
            if (!g.device)
                return TWRC_FAILURE;
            CancelScan();
            sane_close(g.device);
            g.device = nullptr;
            g.enabled = false;
            return TWRC_SUCCESS;
        default:
            return TWRC_FAILURE;
        }
    }
    if (!g.device)
        return TWRC_FAILURE;
    if (dat == DAT_USERINTERFACE) {
        if (msg == MSG_ENABLEDS) {
            if (g.enabled)
                return TWRC_FAILURE;
            const SANE_Status status = sane_start(g.device);
            if (status != SANE_STATUS_GOOD && status != SANE_STATUS_NO_DOCS
                && status != SANE_STATUS_CANCELLED) {
                sane_cancel(g.device);
                return TWRC_FAILURE;
            }
            g.enabled = true;
            g.frameStarted = status == SANE_STATUS_GOOD;
            g.readyReported = false;
            g.closeRequest = !g.frameStarted;
            if (!g.frameStarted)
                sane_cancel(g.device);
            return TWRC_SUCCESS;
        }
        if (msg == MSG_DISABLEDS) {
            if (!g.enabled)
                return TWRC_FAILURE;
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
        if (g.frameStarted && !g.readyReported) {
            g.readyReported = true;
            event->TWMessage = MSG_XFERREADY;
            return TWRC_DSEVENT;
        }
        if (g.closeRequest) {
            event->TWMessage = MSG_CLOSEDSREQ;
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
            // Whatever is left of the current picture is dropped.
            if (g.frameStarted)
                CancelScan();
            if (HasFeeder(g.device)) {
                const SANE_Status status = sane_start(g.device);
                if (status == SANE_STATUS_GOOD) {
                    g.frameStarted = true;
                    pending->Count = 1;
                    return TWRC_SUCCESS;
                }
                sane_cancel(g.device);
            } else {
                sane_cancel(g.device);
            }
            g.closeRequest = true;
            return TWRC_SUCCESS;
        }
        if (msg == MSG_RESET) {
            CancelScan();
            g.closeRequest = true;
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
    if (group == DG_IMAGE && dat == DAT_IMAGENATIVEXFER && msg == MSG_GET) {
        if (!g.open || !g.device || !g.enabled || !data)
            return TWRC_FAILURE;
        if (!g.frameStarted)
            return TWRC_FAILURE;
        const TW_UINT16 rc = Acquire(static_cast<TW_HANDLE*>(data));
        if (rc != TWRC_XFERDONE)
            CancelScan();
        return rc;
    }
    if (group == DG_CONTROL)
        return ControlCall(dat, msg, data);
    return TWRC_FAILURE;
}
