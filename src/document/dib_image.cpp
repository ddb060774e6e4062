#include "document/dib_image.h"

#include "document/dib_errors.h"

#include <new>

namespace vtl::document {

DibPixelFormat PixelFormatOf(const BitmapInfoHeader& info)
{
    switch (info.biBitCount) {
    case 1:
        if (info.biCompression == kBiRgb)
            return DibPixelFormat::Dib1Bit;
        throw EDIBInvalidDIB("TInternalDIB.GetPixelFormat: Invalid DIB(1Bit)");
    case 4:
        if (info.biCompression == kBiRgb)
            return DibPixelFormat::Dib4Bit;
        if (info.biCompression == kBiRle4)
            return DibPixelFormat::Dib4BitRle;
        throw EDIBInvalidDIB("TInternalDIB.GetPixelFormat: Invalid DIB(4Bit)");
    case 8:
        if (info.biCompression == kBiRgb)
            return DibPixelFormat::Dib8Bit;
        if (info.biCompression == kBiRle8)
            return DibPixelFormat::Dib8BitRle;
        throw EDIBInvalidDIB("TInternalDIB.GetPixelFormat: Invalid DIB(8Bit)");
    case 24:
        if (info.biCompression == kBiRgb)
            return DibPixelFormat::Dib24Bit;
        throw EDIBInvalidDIB("TInternalDIB.GetPixelFormat: Invalid DIB(24Bit)");
    default:
        throw EDIBInvalidDIB("TInternalDIB.GetPixelFormat: Invalid DIB(Illegal BitCount)");
    }
}

platform::MappedBlock GetMemory(size_t size)
{
    // An anonymous mapping is made and mapped in one call here, so a refusal is always the
    // mapping's; there is no separate view that could fail afterwards.
    try {
        return platform::MappedBlock(size);
    } catch (const std::bad_alloc&) {
        throw EOutOfResources("GetMemory: Cannot Make File Mapping Object");
    }
}

const char* PixelFormatText(DibPixelFormat format)
{
    switch (format) {
    case DibPixelFormat::Dib1Bit:
        return "1Bit";
    case DibPixelFormat::Dib4Bit:
        return "4Bit";
    case DibPixelFormat::Dib4BitRle:
        return "4BitRLE";
    case DibPixelFormat::Dib8Bit:
        return "8Bit";
    case DibPixelFormat::Dib8BitRle:
        return "8BitRLE";
    case DibPixelFormat::Dib24Bit:
        return "24Bit";
    case DibPixelFormat::DibHalftone:
        return "Halftone";
    case DibPixelFormat::DibHalftoneMono:
        return "HalftoneMono";
    }
    return "";
}

} // namespace vtl::document
