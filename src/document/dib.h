#pragma once
// The image buffer: a device-independent bitmap held as a BMP in memory (40-byte info header,
// colour table of up to 256 entries, rows padded to 32 bits), shared copy-on-write between
// buffers. Pictures from files, plug-ins, the scanner and the clipboard pass through it; the
// document keeps its picture in a display bitmap and comes here for conversions, the clipboard
// and RLE files.

#include "document/dib_errors.h"
#include "document/dib_image.h"
#include "platform/bitmap.h"
#include "platform/color.h"
#include "platform/gdi.h"
#include "platform/geometry.h"
#include "platform/mapped_block.h"
#include "platform/progress.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vtl::platform {
class TStream;
}

namespace vtl::document {

using platform::TColor;

inline constexpr uint32_t CF_DIB = 8;
inline constexpr uint32_t CF_BITMAP = 2;
inline constexpr uint32_t CF_PALETTE = 9;

// The clipboard as the image buffer sees it. The window layer implements it over the desktop's
// clipboard; tests implement it over memory.
class TClipboard {
public:
    virtual ~TClipboard() = default;
    virtual void Open() = 0;
    virtual void Close() = 0;
    // The data offered in `format`, or nothing.
    virtual std::optional<std::vector<uint8_t>> GetAsHandle(uint32_t format) = 0;
    virtual void SetAsHandle(uint32_t format, std::vector<uint8_t> data) = 0;
};

// The framework's out-of-memory error (a clipboard block that could not be allocated).
class EOutOfMemory : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The shared storage behind one or more TDIB objects. The picture itself (info header, colour
// table and pixel block, the storage's Info, ColorTable and Bits) is one DibImage, so that the
// conversions can read it in place.
struct TInternalDIB {
    int32_t RefCount = 1;
    int32_t Width = 1;
    int32_t Height = 1; // absolute
    platform::HPalette PaletteHandle; // cached; dropped when the colour table may have changed
    uint32_t PixelBlockSize = 0;
    DibImage Image; // rows exactly as in a BMP file, or the RLE stream
    bool PaletteChanged = true;
    bool UseFMO = true;

    // A new storage: 1 x 1, 8 bits, 256 colours used, black colour table, one zero row.
    TInternalDIB();
    // Takes a finished picture as a new storage. Throws EDIBInvalidDIB when its header is not a
    // stored format or an uncompressed pixel block is smaller than its rows.
    explicit TInternalDIB(DibImage&& image);
    // A deep copy (new pixel block of the same kind).
    TInternalDIB(const TInternalDIB& other);
    TInternalDIB& operator=(const TInternalDIB&) = delete;

    const BitmapInfoHeader& Info() const { return Image.info; }
    DibPixelFormat GetPixelFormat() const { return PixelFormatOf(Image.info); }
    size_t ColorsUsed() const { return Image.info.biClrUsed > 256 ? 256 : Image.info.biClrUsed; }
    // A copy of header, colour table and pixels.
    DibImage CopyImage() const;
    // A view of the pixels for the GDI stand-ins.
    platform::DibView View() const;
};

// The graphic base: the framework's graphic notifications and assignment from the clipboard.
class TDibGraphic {
public:
    virtual ~TDibGraphic() = default;

    // Set by every successful change; whoever shows the graphic clears it after redrawing.
    bool Modified() const { return m_modified; }
    void SetModified(bool modified);
    bool PaletteModified() const { return m_paletteModified; }
    void SetPaletteModified(bool modified) { m_paletteModified = modified; }

    // Called after every change (the framework's OnChange).
    std::function<void(TDibGraphic&)> OnChange;
    // Progress of long operations (conversions that quantise colours).
    platform::ProgressHandler OnProgress;

    virtual void LoadFromClipboardFormat(
        uint32_t format, std::span<const uint8_t> data, const platform::HPalette& palette)
        = 0;
    // Opens the clipboard, fetches this graphic's format and loads it; closes the clipboard
    // even when loading fails.
    void AssignFromClipboard(TClipboard& clipboard);

protected:
    virtual uint32_t ClipboardFormat() const = 0;
    void Changed();

private:
    bool m_modified = false;
    bool m_paletteModified = false;
};

// The result of SaveToClipboardFormat.
struct ClipboardData {
    uint32_t format = CF_DIB;
    std::vector<uint8_t> data;
    platform::HPalette palette;
};

class TDIB : public TDibGraphic {
public:
    // New buffer: a new storage (1 x 1, 8 bits), QuantiseMode 0, OneBitColour white.
    TDIB();
    // Shares the other's storage, as Assign does.
    TDIB(const TDIB& other);
    TDIB& operator=(const TDIB& other);
    ~TDIB() override;

    uint8_t QuantiseMode = 0; // 0 Low, 1 High
    TColor OneBitColour = 0xFFFFFF;
    uint8_t PaletteDrawMode = 0; // 0 as is, 1 halftone palette, 2 black and white
    int32_t ProgressTotal = 0;
    int32_t ProgressCount = 0;
    std::string ProgressText;

    // BMP files. Loading replaces the picture only when it succeeds.
    void LoadFromStream(platform::TStream& stream);
    void SaveToStream(platform::TStream& stream) const;
    void LoadFromFile(const std::filesystem::path& path);
    void SaveToFile(const std::filesystem::path& path) const;
    // The same over bytes in memory.
    void LoadFromBytes(std::span<const uint8_t> bmpFile);
    std::vector<uint8_t> SaveToBytes() const;

    // A packed DIB (info header, colour table, pixels) as a scanner hands it over.
    void LoadFromDIB(std::span<const uint8_t> packedDib);
    // Format must be CF_DIB and the data non-empty, else EInvalidGraphic
    // "TDIB.LoadFromClipboardFormat: Invalid Clipboard Format or No Data". The palette is ignored.
    void LoadFromClipboardFormat(
        uint32_t format, std::span<const uint8_t> data, const platform::HPalette& palette) override;
    // The packed DIB in a new zero-initialised block; EOutOfMemory
    // "TInternalDIB.SaveToClipboardFormat: Out Of Memory" when memory can't be had.
    ClipboardData SaveToClipboardFormat() const;

    // Shares the source's storage and copies its three drawing fields.
    void Assign(const TDIB& source);
    // Copies the display bitmap's picture (16 and 32 bits become 24).
    void Assign(const platform::TBitmap& source);
    // Reads CF_DIB from the clipboard.
    void Assign(TClipboard& clipboard) { AssignFromClipboard(clipboard); }
    // Becomes a new 1 x 1 buffer (assignment from nothing).
    void AssignNone();
    void AssignTo(TDIB& dest) const { dest.Assign(*this); }
    // Makes the bitmap a copy: 1, 4, 8 (RLE expanded) or 24 bits, with the buffer's palette.
    void AssignTo(platform::TBitmap& dest) const;
    // The same picture in the bitmap, and this buffer becomes a new 1 x 1 one. An uncompressed
    // 8- or 24-bit picture that no other buffer shares hands its pixel block over (its rows put
    // top-down in place) instead of being copied.
    void MoveTo(platform::TBitmap& dest);

    // Stretches the picture onto the rectangle of the canvas with the canvas's copy mode.
    void Draw(platform::TCanvas& canvas, const platform::TRect& rect) const;

    int32_t Width() const { return m_internal->Width; }
    int32_t Height() const { return m_internal->Height; }
    void SetWidth(int32_t width);
    void SetHeight(int32_t height);
    bool Empty() const { return false; }
    int BitCount() const { return m_internal->Image.info.biBitCount; }
    void SetBitCount(int bitCount);
    bool TopDown() const { return m_internal->Image.info.biHeight < 0; }

    DibPixelFormat PixelFormat() const { return m_internal->GetPixelFormat(); }
    // Converts the picture (see the conversion routes); the buffer keeps its picture on failure.
    void SetPixelFormat(DibPixelFormat format);

    // PaletteDrawMode 1 or 2: the fixed palettes; otherwise the cached palette made from the
    // colour table, null for 24 bits (colours used 0).
    platform::HPalette Palette() const;
    // Copies up to 256 entries into the colour table; an empty palette raises EDIBInvalidPalette
    // "TDIB.SetPalette: Invalid Palette"; null sets colours used to 0.
    void SetPalette(const platform::HPalette& palette);

    // Row y from the top; throws for rows outside the picture and compressed pictures.
    uint8_t* ScanLine(int32_t y);
    void SetPixels(int32_t x, int32_t y, uint32_t value);
    void UniqueDIB();
    void UpdatePaletteModified();
    bool UseFMO() const { return m_internal->UseFMO; }

    // Read access to the storage (header, colour table, pixel block) without making it unique.
    const TInternalDIB& Internal() const { return *m_internal; }
    const BitmapInfoHeader& Info() const { return m_internal->Image.info; }
    std::span<const RGBQuad> ColorTable() const
    {
        return { m_internal->Image.colorTable.data(), ColorsUsed() };
    }
    size_t ColorsUsed() const { return m_internal->ColorsUsed(); }
    // Replaces the storage by this picture (used by the conversions and by readers that build a
    // picture themselves).
    void ReplaceImage(DibImage&& image);
    // The storage's picture as a DibImage copy.
    DibImage CopyImage() const { return m_internal->CopyImage(); }

protected:
    uint32_t ClipboardFormat() const override { return CF_DIB; }
    // Puts new storage in place of the old, marks the palette changed and sets Modified.
    void ReplaceInternal(TInternalDIB* fresh);
    TInternalDIB& MutableInternal() { return *m_internal; }

private:
    static void ReleaseInternalDIB(TInternalDIB* internal) noexcept;

    TInternalDIB* m_internal;
};

// TDIB with raw access to the pixel block and a pixel reader.
class TDibEx : public TDIB {
public:
    using TDIB::TDIB;

    uint32_t PixelBlockSize() const { return Internal().PixelBlockSize; }
    // Makes the storage unique and copies PixelBlockSize bytes from the source (which must hold
    // that many, else EDIBInvalidDIBPara).
    void WritePixelBlock(std::span<const uint8_t> source);
    void ReadPixelBlock(std::span<uint8_t> destination) const;
    // The pixel block itself, after making the storage unique.
    std::span<uint8_t> PixelBlock();
    // Palette index or RGB colour at (x, y) from the top; 0 outside the picture.
    uint32_t GetPixels(int32_t x, int32_t y) const;
};

// A canvas whose drawing lands in an image buffer's pixels. The buffer must not be used
// otherwise while the canvas lives; the drawing reaches its pixels when the canvas goes away.
class TDIBCanvas {
public:
    explicit TDIBCanvas(TDIB& dib);
    ~TDIBCanvas();
    TDIBCanvas(const TDIBCanvas&) = delete;
    TDIBCanvas& operator=(const TDIBCanvas&) = delete;

    platform::TCanvas& Canvas() { return m_bitmap.Canvas(); }

private:
    TDIB& m_dib;
    platform::TBitmap m_bitmap;
};

} // namespace vtl::document
