#pragma once
// What the program and a data source manager library share: the records and constants of the
// published TWAIN standard that the program uses, the entry point's type, and how picture memory
// passes from the manager to the program. Plain C layout, so that the manager can be built
// without the rest of the program.
//
// Memory handed over by a native transfer: the manager allocates one block with malloc and puts
// its address into the TW_HANDLE the program passed. The block starts with the number of bytes
// that follow (a uint64_t), then a packed device-independent bitmap (40-byte info header, colour
// table, rows padded to 32 bits, bottom-up). From then on the block belongs to the program, which
// releases it with free.

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" {

typedef uint16_t TW_UINT16;
typedef uint32_t TW_UINT32;
typedef uint16_t TW_BOOL;
typedef void* TW_MEMREF;
typedef void* TW_HANDLE;
typedef char TW_STR32[34];

struct TW_VERSION {
    TW_UINT16 MajorNum;
    TW_UINT16 MinorNum;
    TW_UINT16 Language;
    TW_UINT16 Country;
    TW_STR32 Info;
};

struct TW_IDENTITY {
    TW_UINT32 Id;
    TW_VERSION Version;
    TW_UINT16 ProtocolMajor;
    TW_UINT16 ProtocolMinor;
    TW_UINT32 SupportedGroups;
    TW_STR32 Manufacturer;
    TW_STR32 ProductFamily;
    TW_STR32 ProductName;
};

struct TW_USERINTERFACE {
    TW_BOOL ShowUI;
    TW_BOOL ModalUI;
    TW_HANDLE hParent;
};

// pEvent is the window message; this platform has none to hand over, so the program passes null
// and the manager uses the call only to report what its source wants.
struct TW_EVENT {
    TW_MEMREF pEvent;
    TW_UINT16 TWMessage;
};

struct TW_PENDINGXFERS {
    TW_UINT16 Count;
    TW_UINT32 EOJ;
};

typedef TW_IDENTITY* pTW_IDENTITY;

// DSM_Entry(origin, destination, data group, data argument type, message, data).
typedef TW_UINT16 (*DSMENTRYPROC)(
    pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF);

} // extern "C"

namespace vtl::input::twain {

// Data groups.
inline constexpr TW_UINT32 DG_CONTROL = 0x0001;
inline constexpr TW_UINT32 DG_IMAGE = 0x0002;

// Data argument types.
inline constexpr TW_UINT16 DAT_EVENT = 0x0002;
inline constexpr TW_UINT16 DAT_IDENTITY = 0x0003;
inline constexpr TW_UINT16 DAT_PARENT = 0x0004;
inline constexpr TW_UINT16 DAT_PENDINGXFERS = 0x0005;
inline constexpr TW_UINT16 DAT_USERINTERFACE = 0x0009;
inline constexpr TW_UINT16 DAT_IMAGENATIVEXFER = 0x0104;

// Messages.
inline constexpr TW_UINT16 MSG_NULL = 0x0000;
inline constexpr TW_UINT16 MSG_GET = 0x0001;
inline constexpr TW_UINT16 MSG_GETDEFAULT = 0x0003;
inline constexpr TW_UINT16 MSG_RESET = 0x0007;
inline constexpr TW_UINT16 MSG_XFERREADY = 0x0101;
inline constexpr TW_UINT16 MSG_CLOSEDSREQ = 0x0102;
inline constexpr TW_UINT16 MSG_OPENDSM = 0x0301;
inline constexpr TW_UINT16 MSG_CLOSEDSM = 0x0302;
inline constexpr TW_UINT16 MSG_OPENDS = 0x0401;
inline constexpr TW_UINT16 MSG_CLOSEDS = 0x0402;
inline constexpr TW_UINT16 MSG_USERSELECT = 0x0403;
inline constexpr TW_UINT16 MSG_DISABLEDS = 0x0501;
inline constexpr TW_UINT16 MSG_ENABLEDS = 0x0502;
inline constexpr TW_UINT16 MSG_PROCESSEVENT = 0x0601;
inline constexpr TW_UINT16 MSG_ENDXFER = 0x0701;

// Return codes.
inline constexpr TW_UINT16 TWRC_SUCCESS = 0;
inline constexpr TW_UINT16 TWRC_FAILURE = 1;
inline constexpr TW_UINT16 TWRC_CHECKSTATUS = 2;
inline constexpr TW_UINT16 TWRC_CANCEL = 3;
inline constexpr TW_UINT16 TWRC_DSEVENT = 4;
inline constexpr TW_UINT16 TWRC_NOTDSEVENT = 5;
inline constexpr TW_UINT16 TWRC_XFERDONE = 6;
inline constexpr TW_UINT16 TWRC_ENDOFLIST = 7;

inline constexpr TW_UINT32 DG_SUPPORTED = DG_CONTROL | DG_IMAGE;

// A text field of an identity: `text` cut to fit, the rest of the field zero.
inline void CopyText(TW_STR32& field, const char* text)
{
    std::memset(field, 0, sizeof field);
    std::strncpy(field, text, sizeof field - 1);
}

// A picture block as described at the top: `size` bytes of packed DIB after the length, or null
// when memory can't be had.
inline TW_HANDLE AllocDibBlock(uint64_t size)
{
    void* block = std::malloc(sizeof(uint64_t) + static_cast<size_t>(size));
    if (block)
        std::memcpy(block, &size, sizeof size);
    return block;
}
inline uint64_t DibBlockSize(TW_HANDLE block)
{
    uint64_t size = 0;
    std::memcpy(&size, block, sizeof size);
    return size;
}
inline unsigned char* DibBlockBytes(TW_HANDLE block)
{
    return static_cast<unsigned char*>(block) + sizeof(uint64_t);
}

} // namespace vtl::input::twain
