#ifndef VTL_INPUT_SUSIE_ABI_H
#define VTL_INPUT_SUSIE_ABI_H
/*
 * The Susie 32-bit plug-in interface in its Linux form. A plug-in is an ELF shared object named
 * *.spi that exports the entry points below with C linkage. Every Windows integer type keeps its
 * 32-bit Windows size; handles are pointers. A block a plug-in hands back (a "local memory
 * handle") is allocated with malloc: the host uses the pointer as the locked block, learns its
 * size with malloc_usable_size and frees it with free.
 *
 * This header is plain C so that plug-ins written in C can include it as well.
 */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Results of every call but GetPluginInfo and IsSupported. */
enum {
    SPI_NOT_IMPLEMENTED = -1,
    SPI_SUCCESS = 0,
    SPI_ABORT = 1, /* the progress callback asked to stop */
    SPI_UNKNOWN_FORMAT = 2,
    SPI_BROKEN_DATA = 3,
    SPI_NO_MEMORY = 4,
    SPI_MEMORY_ERROR = 5,
    SPI_FILE_READ_ERROR = 6,
    SPI_RESERVED = 7,
    SPI_INTERNAL_ERROR = 8
};

/* The low three bits of a call's flag say where the source is. */
#define SPI_SOURCE_FILE 0u
#define SPI_SOURCE_MEMORY 1u
#define SPI_SOURCE_MASK 7u
/* Bits 8 to 10 of GetFile's flag say where the member goes; 256 asks for a memory block. */
#define SPI_DEST_FILE 0u
#define SPI_DEST_MEMORY 256u
#define SPI_DEST_MASK 0x700u

/* IsSupported's second argument: a value below this is an open file descriptor, anything else
 * the address of a 2048-byte buffer holding the first bytes of the data. */
#define SPI_FD_LIMIT 65536u
#define SPI_HEAD_SIZE 2048

/* Buffer sizes the host passes to GetPluginInfo. */
#define SPI_INFO0_SIZE 5
#define SPI_INFO_SIZE 512

/* Picture information. Only width and height are read by the host. */
#pragma pack(push, 1)
typedef struct SusiePictureInfo {
    int32_t left;
    int32_t top;
    int32_t width;
    int32_t height;
    uint16_t x_density;
    uint16_t y_density;
    int16_t colorDepth;
    void* hInfo; /* malloc'ed text, or null */
} SusiePictureInfo;

/* One archive member: 428 bytes, little-endian. A list ends with a record whose method begins
 * with a zero byte. */
typedef struct SusieFileInfo {
    unsigned char method[8];
    uint32_t position; /* handed back to GetFile */
    uint32_t compsize;
    uint32_t filesize;
    uint32_t timestamp;
    char path[200];
    char filename[200];
    uint32_t crc;
} SusieFileInfo;
#pragma pack(pop)

#define SPI_FILE_INFO_SIZE 428
#define SPI_FILE_INFO_PATH_OFFSET 24
#define SPI_FILE_INFO_NAME_OFFSET 224
#define SPI_FILE_INFO_TEXT_SIZE 200

#ifdef __cplusplus
static_assert(sizeof(SusieFileInfo) == SPI_FILE_INFO_SIZE, "member record is 428 bytes");
#else
_Static_assert(sizeof(SusieFileInfo) == SPI_FILE_INFO_SIZE, "member record is 428 bytes");
#endif

/* Progress: done out of total; a non-zero result asks the plug-in to stop. */
typedef int32_t (*SusieProgressCallback)(int32_t done, int32_t total, int32_t userData);

typedef int32_t (*GetPluginInfoProc)(int32_t infoNo, char* buffer, int32_t bufferLength);
typedef int32_t (*IsSupportedProc)(const char* fileName, uintptr_t fdOrHead);
typedef int32_t (*GetPictureInfoProc)(
    const char* source, int32_t length, uint32_t flag, SusiePictureInfo* info);
/* info and bits receive malloc'ed blocks: a BITMAPINFOHEADER with its colour table, and the
 * pixel rows bottom-up, padded to 4 bytes. */
typedef int32_t (*GetPictureProc)(const char* source, int32_t length, uint32_t flag, void** info,
    void** bits, SusieProgressCallback progress, int32_t userData);
typedef int32_t (*GetPreviewProc)(const char* source, int32_t length, uint32_t flag, void** info,
    void** bits, SusieProgressCallback progress, int32_t userData);
/* list receives a malloc'ed block of member records, terminator included. */
typedef int32_t (*GetArchiveInfoProc)(
    const char* source, int32_t length, uint32_t flag, void** list);
typedef int32_t (*GetFileInfoProc)(
    const char* source, int32_t length, const char* fileName, uint32_t flag, SusieFileInfo* info);
/* With SPI_DEST_MEMORY, dest is really a void** that receives a malloc'ed block of the member's
 * bytes; otherwise it names a folder to write the member into. */
typedef int32_t (*GetFileProc)(const char* source, int32_t position, char* dest, uint32_t flag,
    SusieProgressCallback progress, int32_t userData);
typedef int32_t (*ConfigurationDlgProc)(void* parent, int32_t function);

#ifdef __cplusplus
}
#endif

#endif
