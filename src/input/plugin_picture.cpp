#include "input/plugin_picture.h"

#include "platform/byte_reader.h"
#include "platform/checked.h"

#include <algorithm>
#include <cstring>

namespace vtl::input {

namespace {
    constexpr uint64_t kFileHeaderSize = 14;
    constexpr uint64_t kInfoHeaderSize = 40;
} // namespace

std::vector<uint8_t> BmpStreamFromPluginBlocks(
    std::span<const uint8_t> info, std::span<const uint8_t> bits)
{
    if (info.size() < kInfoHeaderSize)
        throw EPluginPicture("Plug-in picture: header block too small");
    platform::ByteReader header(info);
    header.Skip(4); // biSize: the header is taken as the 40-byte form whatever it says
    const int32_t width = header.i32le();
    const int32_t height = header.i32le();
    header.Skip(2);
    const uint16_t bitCount = header.u16le();
    header.Skip(4);
    const uint32_t sizeImage = header.u32le();
    header.Skip(8);
    const uint32_t colorsUsed = header.u32le();

    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24
        && bitCount != 32)
        throw EPluginPicture("Plug-in picture: unsupported bit depth");

    uint64_t tableBytes = 0;
    if (colorsUsed != 0)
        tableBytes = uint64_t(4) * colorsUsed;
    else if (bitCount <= 8)
        tableBytes = uint64_t(4) << bitCount;
    // A table claimed larger than the block would be read from memory that isn't the plug-in's.
    if (tableBytes > info.size() - kInfoHeaderSize)
        throw EPluginPicture("Plug-in picture: colour table beyond the header block");

    uint64_t pixelBytes = sizeImage;
    if (pixelBytes == 0) {
        // Many plug-ins leave the image size at 0.
        auto rowBytes = platform::BmpRowBytes(width, bitCount);
        if (!rowBytes)
            throw EPluginPicture("Plug-in picture: invalid width");
        uint64_t rows = height < 0 ? uint64_t(-int64_t(height)) : uint64_t(height);
        pixelBytes = uint64_t(*rowBytes) * rows;
    }
    if (pixelBytes > bits.size())
        throw EPluginPicture("Plug-in picture: pixel data beyond the pixel block");

    const uint64_t offBits = kFileHeaderSize + kInfoHeaderSize + tableBytes;
    const uint64_t fileSize = offBits + pixelBytes;
    if (fileSize > UINT32_MAX || fileSize > platform::kMaxPictureBytes)
        throw EPluginPicture("Plug-in picture: too large");

    std::vector<uint8_t> stream(static_cast<size_t>(fileSize));
    uint8_t* p = stream.data();
    p[0] = 'B';
    p[1] = 'M';
    platform::PutU32le(p + 2, static_cast<uint32_t>(fileSize));
    platform::PutU32le(p + 10, static_cast<uint32_t>(offBits));
    std::memcpy(
        p + kFileHeaderSize, info.data(), static_cast<size_t>(kInfoHeaderSize + tableBytes));
    // Only 40 bytes of header were taken, so the stream must not promise a longer one.
    platform::PutU32le(p + kFileHeaderSize, static_cast<uint32_t>(kInfoHeaderSize));
    if (pixelBytes)
        std::memcpy(p + offBits, bits.data(), static_cast<size_t>(pixelBytes));
    return stream;
}

void PictureFromPluginBlocks(
    std::span<const uint8_t> info, std::span<const uint8_t> bits, document::TDIB& dib)
{
    std::vector<uint8_t> stream = BmpStreamFromPluginBlocks(info, bits);
    dib.LoadFromBytes(stream);
}

} // namespace vtl::input
