#include "document/dib.h"

#include "document/dib_bmp.h"
#include "document/fixed_palettes.h"
#include "document/pixel_format_conversion.h"
#include "platform/atomic_file.h"
#include "platform/checked.h"
#include "platform/stream.h"

#include <cassert>
#include <cstring>
#include <memory>
#include <new>

namespace vtl::document {

using platform::TBitmap;
using platform::TPixelFormat;

namespace {
    uint32_t ColoursForBitCount(int bitCount) { return bitCount <= 8 ? 1u << bitCount : 0; }

    uint32_t AbsHeightOf(const BitmapInfoHeader& info)
    {
        return info.biHeight < 0 ? uint32_t(-int64_t(info.biHeight)) : uint32_t(info.biHeight);
    }

    // A zero-filled picture of the given size and bit count with a black colour table.
    DibImage BlankImage(int32_t width, int32_t height, int bitCount, uint32_t coloursUsed)
    {
        DibImage image;
        image.info.biWidth = width;
        image.info.biHeight = height;
        image.info.biBitCount = static_cast<uint16_t>(bitCount);
        image.info.biCompression = kBiRgb;
        image.info.biClrUsed = coloursUsed > 256 ? 256 : coloursUsed;
        uint64_t absHeight = height < 0 ? uint64_t(-int64_t(height)) : uint64_t(height);
        auto rowBytes = platform::BmpRowBytes(width, bitCount);
        if (!rowBytes || absHeight > uint64_t(platform::kMaxPictureSide)
            || width > platform::kMaxPictureSide
            || uint64_t(*rowBytes) * absHeight > platform::kMaxPictureBytes)
            throw EDIBInvalidDIBPara("TDIB: Picture is too large");
        image.bits = GetMemory(size_t(*rowBytes * absHeight));
        return image;
    }

    TPixelFormat BitmapFormatFor(DibPixelFormat format)
    {
        switch (format) {
        case DibPixelFormat::Dib1Bit:
            return TPixelFormat::pf1bit;
        case DibPixelFormat::Dib4Bit:
        case DibPixelFormat::Dib4BitRle:
            return TPixelFormat::pf4bit;
        case DibPixelFormat::Dib8Bit:
        case DibPixelFormat::Dib8BitRle:
            return TPixelFormat::pf8bit;
        default:
            return TPixelFormat::pf24bit;
        }
    }

    TPixelFormat BitmapFormatForBits(int bits)
    {
        switch (bits) {
        case 1:
            return TPixelFormat::pf1bit;
        case 4:
            return TPixelFormat::pf4bit;
        case 8:
            return TPixelFormat::pf8bit;
        default:
            return TPixelFormat::pf24bit;
        }
    }

    const platform::HPalette& FixedHalftonePalette()
    {
        static const platform::HPalette palette
            = platform::CreatePaletteFromColorTable(HalftonePalette());
        return palette;
    }

    const platform::HPalette& FixedBlackWhitePalette()
    {
        static const platform::HPalette palette
            = platform::CreatePaletteFromColorTable(BlackWhitePalette());
        return palette;
    }

    bool IsCompressed(const BitmapInfoHeader& info)
    {
        return info.biCompression == kBiRle4 || info.biCompression == kBiRle8;
    }
}

// ---- TInternalDIB ----

TInternalDIB::TInternalDIB()
{
    Image.bits = GetMemory(4);
    PixelBlockSize = 4;
}

TInternalDIB::TInternalDIB(DibImage&& image)
{
    const BitmapInfoHeader& info = image.info;
    if (info.biWidth <= 0 || info.biHeight == 0 || info.biHeight == INT32_MIN)
        throw EDIBInvalidDIB("TInternalDIB.LoadFromStream: Invalid Width or Height");
    DibPixelFormat format = PixelFormatOf(info);
    (void)format;
    if (!IsCompressed(info)) {
        auto rowBytes = platform::BmpRowBytes(info.biWidth, info.biBitCount);
        if (!rowBytes || uint64_t(*rowBytes) * AbsHeightOf(info) > image.bits.Size())
            throw EDIBInvalidDIB("TInternalDIB: Pixel block is too small");
    }
    if (image.bits.Size() > UINT32_MAX)
        throw EDIBInvalidDIB("TInternalDIB: Pixel block is too large");
    Image = std::move(image);
    Image.info.biSize = 40;
    if (Image.info.biClrUsed > 256)
        Image.info.biClrUsed = 256;
    Width = Image.info.biWidth;
    Height = int32_t(AbsHeightOf(Image.info));
    PixelBlockSize = uint32_t(Image.bits.Size());
}

TInternalDIB::TInternalDIB(const TInternalDIB& other)
    : RefCount(1)
    , Width(other.Width)
    , Height(other.Height)
    , PaletteHandle(other.PaletteHandle)
    , PixelBlockSize(other.PixelBlockSize)
    , Image(other.CopyImage())
    , PaletteChanged(other.PaletteChanged)
    , UseFMO(other.UseFMO)
{
}

DibImage TInternalDIB::CopyImage() const
{
    DibImage copy;
    copy.info = Image.info;
    copy.colorTable = Image.colorTable;
    copy.bits = GetMemory(Image.bits.Size());
    if (Image.bits.Size() != 0)
        std::memcpy(copy.bits.Data(), Image.bits.Data(), Image.bits.Size());
    return copy;
}

platform::DibView TInternalDIB::View() const
{
    platform::DibView view;
    view.width = Image.info.biWidth;
    view.height = Image.info.biHeight;
    view.bitCount = Image.info.biBitCount;
    view.compression = Image.info.biCompression;
    view.colors = std::span<const RGBQuad>(Image.colorTable.data(), ColorsUsed());
    view.bits = std::span<const uint8_t>(Image.bits.Data(), PixelBlockSize);
    return view;
}

// ---- TDibGraphic ----

void TDibGraphic::SetModified(bool modified)
{
    m_modified = modified;
    if (modified)
        Changed();
}

void TDibGraphic::Changed()
{
    if (OnChange)
        OnChange(*this);
}

void TDibGraphic::AssignFromClipboard(TClipboard& clipboard)
{
    clipboard.Open();
    // The clipboard is closed on every path, also when loading fails.
    struct Closer {
        TClipboard& clipboard;
        ~Closer() { clipboard.Close(); }
    } closer { clipboard };
    std::optional<std::vector<uint8_t>> data = clipboard.GetAsHandle(ClipboardFormat());
    std::optional<std::vector<uint8_t>> palette = clipboard.GetAsHandle(CF_PALETTE);
    (void)palette; // fetched as the framework does; the buffer ignores it
    std::span<const uint8_t> bytes;
    if (data)
        bytes = *data;
    LoadFromClipboardFormat(ClipboardFormat(), bytes, nullptr);
}

// ---- TDIB ----

TDIB::TDIB()
    : m_internal(std::make_unique<TInternalDIB>().release())
{
}

TDIB::TDIB(const TDIB& other)
    : TDibGraphic()
    , QuantiseMode(other.QuantiseMode)
    , OneBitColour(other.OneBitColour)
    , PaletteDrawMode(other.PaletteDrawMode)
    , m_internal(other.m_internal)
{
    ++m_internal->RefCount;
}

TDIB& TDIB::operator=(const TDIB& other)
{
    Assign(other);
    return *this;
}

TDIB::~TDIB() { ReleaseInternalDIB(m_internal); }

void TDIB::ReleaseInternalDIB(TInternalDIB* internal) noexcept
{
    if (internal && --internal->RefCount == 0)
        std::unique_ptr<TInternalDIB> owner(internal);
}

void TDIB::ReplaceInternal(TInternalDIB* fresh)
{
    ReleaseInternalDIB(m_internal);
    m_internal = fresh;
    m_internal->PaletteHandle = nullptr;
    m_internal->PaletteChanged = true;
    UpdatePaletteModified();
    SetModified(true);
}

void TDIB::ReplaceImage(DibImage&& image)
{
    auto fresh = std::make_unique<TInternalDIB>(std::move(image));
    ReplaceInternal(fresh.release());
}

void TDIB::LoadFromStream(platform::TStream& stream) { ReplaceImage(ReadBmpFile(stream)); }

void TDIB::SaveToStream(platform::TStream& stream) const { WriteBmpFile(*m_internal, stream); }

void TDIB::LoadFromFile(const std::filesystem::path& path)
{
    platform::TFileStream file(path, platform::TFileMode::OpenRead);
    LoadFromStream(file);
}

void TDIB::SaveToFile(const std::filesystem::path& path) const
{
    // Written beside the old file and put in its place only once whole.
    platform::TAtomicFile file(path);
    SaveToStream(file);
    file.Commit();
}

void TDIB::LoadFromBytes(std::span<const uint8_t> bmpFile)
{
    platform::TSpanStream stream(bmpFile);
    LoadFromStream(stream);
}

std::vector<uint8_t> TDIB::SaveToBytes() const
{
    platform::TMemoryStream stream;
    SaveToStream(stream);
    return stream.TakeBytes();
}

void TDIB::LoadFromDIB(std::span<const uint8_t> packedDib)
{
    ReplaceImage(ReadPackedDib(packedDib, PackedDibOrigin::ScannerBlock));
}

void TDIB::LoadFromClipboardFormat(
    uint32_t format, std::span<const uint8_t> data, const platform::HPalette& /*palette*/)
{
    if (format != CF_DIB || data.empty())
        throw EInvalidGraphic("TDIB.LoadFromClipboardFormat: Invalid Clipboard Format or No Data");
    ReplaceImage(ReadPackedDib(data, PackedDibOrigin::Clipboard));
}

ClipboardData TDIB::SaveToClipboardFormat() const
{
    ClipboardData result;
    try {
        result.data = PackDib(*m_internal);
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory("TInternalDIB.SaveToClipboardFormat: Out Of Memory");
    }
    return result;
}

void TDIB::Assign(const TDIB& source)
{
    if (&source == this)
        return;
    ++source.m_internal->RefCount;
    ReleaseInternalDIB(m_internal);
    m_internal = source.m_internal;
    QuantiseMode = source.QuantiseMode;
    OneBitColour = source.OneBitColour;
    PaletteDrawMode = source.PaletteDrawMode;
    SetPaletteModified(true);
    SetModified(true);
}

void TDIB::Assign(const TBitmap& source)
{
    if (source.Empty()) {
        // A bitmap without pixels has no picture to copy; the buffer starts afresh instead.
        AssignNone();
        return;
    }
    int bits = source.BitsPerPixel();
    if (bits == 16 || bits == 32)
        bits = 24;
    DibImage image = BlankImage(source.Width(), source.Height(), bits, 0);
    std::span<RGBQuad> table(image.colorTable.data(), bits <= 8 ? size_t(1) << bits : 0);
    platform::GetDIBits(source, uint16_t(bits), image.bits.Bytes(), table);
    if (image.info.biClrUsed == 0)
        image.info.biClrUsed = ColoursForBitCount(bits);
    ReplaceImage(std::move(image));
}

void TDIB::AssignNone() { ReplaceInternal(std::make_unique<TInternalDIB>().release()); }

void TDIB::AssignTo(TBitmap& dest) const
{
    const TInternalDIB& dib = *m_internal;
    TBitmap copy
        = TBitmap::ForWriting(dib.Width, dib.Height, BitmapFormatFor(dib.GetPixelFormat()));
    if (dib.ColorsUsed() > 0)
        copy.SetPalette(std::span<const RGBQuad>(dib.Image.colorTable.data(), dib.ColorsUsed()));
    else
        copy.ClearPalette();
    const platform::DibView view = dib.View();
    if (!platform::ExpandRleInto(copy, view))
        platform::StretchDIBits(copy, platform::Rect(0, 0, dib.Width, dib.Height),
            platform::Rect(0, 0, dib.Width, dib.Height), view);
    dest = std::move(copy);
    dest.Modified = true;
}

void TDIB::MoveTo(TBitmap& dest)
{
    TInternalDIB& dib = *m_internal;
    const DibPixelFormat format = dib.GetPixelFormat();
    const int bits = format == DibPixelFormat::Dib24Bit ? 24 : 8;
    const auto rowBytes = platform::BmpRowBytes(dib.Width, bits);
    platform::MappedBlock& rows = dib.Image.bits;
    if (dib.RefCount != 1 || (format != DibPixelFormat::Dib8Bit && format != DibPixelFormat::Dib24Bit)
        || !rowBytes || uint64_t(*rowBytes) * uint64_t(dib.Height) != rows.Size()) {
        AssignTo(dest);
        AssignNone();
        return;
    }
    const size_t used = size_t(dib.Width) * size_t(bits / 8);
    // Rows of a BMP file run bottom-up unless its height is negative; padding may hold anything.
    if (!TopDown()) {
        std::vector<uint8_t> swap(*rowBytes);
        for (size_t top = 0, bottom = size_t(dib.Height) - 1; top < bottom; ++top, --bottom) {
            uint8_t* a = rows.Data() + top * *rowBytes;
            uint8_t* b = rows.Data() + bottom * *rowBytes;
            std::memcpy(swap.data(), a, *rowBytes);
            std::memcpy(a, b, *rowBytes);
            std::memcpy(b, swap.data(), *rowBytes);
        }
    }
    if (used < *rowBytes)
        for (size_t y = 0; y < size_t(dib.Height); ++y)
            std::memset(rows.Data() + y * *rowBytes + used, 0, *rowBytes - used);
    TBitmap bitmap = TBitmap::Adopt(dib.Width, dib.Height, BitmapFormatFor(format), std::move(rows));
    if (dib.ColorsUsed() > 0)
        bitmap.SetPalette(std::span<const RGBQuad>(dib.Image.colorTable.data(), dib.ColorsUsed()));
    else
        bitmap.ClearPalette();
    AssignNone();
    dest = std::move(bitmap);
    dest.Modified = true;
}

void TDIB::Draw(platform::TCanvas& canvas, const platform::TRect& rect) const
{
    const TInternalDIB& dib = *m_internal;
    if ((PaletteDrawMode == 1 || PaletteDrawMode == 2) && !rect.IsEmpty()) {
        // Drawn through a buffer of the rectangle's size in the fixed palette.
        int32_t w = rect.Width(), h = rect.Height();
        TBitmap stretched(w, h, BitmapFormatForBits(dib.Image.info.biBitCount));
        if (dib.ColorsUsed() > 0)
            stretched.SetPalette(
                std::span<const RGBQuad>(dib.Image.colorTable.data(), dib.ColorsUsed()));
        platform::StretchDIBits(stretched, platform::Rect(0, 0, w, h),
            platform::Rect(0, 0, dib.Width, dib.Height), dib.View());
        TDIB halftone;
        halftone.Assign(stretched);
        halftone.SetPixelFormat(
            PaletteDrawMode == 1 ? DibPixelFormat::DibHalftone : DibPixelFormat::DibHalftoneMono);
        platform::StretchDIBits(canvas.Bitmap(), rect, platform::Rect(0, 0, w, h),
            halftone.m_internal->View(), canvas.CopyMode);
        return;
    }
    platform::StretchDIBits(canvas.Bitmap(), rect, platform::Rect(0, 0, dib.Width, dib.Height),
        dib.View(), canvas.CopyMode);
}

void TDIB::SetWidth(int32_t width)
{
    if (width <= 0)
        throw EDIBInvalidDIBPara("TDIB.SetWidth: Invalid Width");
    if (width == m_internal->Width)
        return;
    const BitmapInfoHeader& info = m_internal->Image.info;
    DibImage image = BlankImage(width, info.biHeight, info.biBitCount, info.biClrUsed);
    image.info.biXPelsPerMeter = info.biXPelsPerMeter;
    image.info.biYPelsPerMeter = info.biYPelsPerMeter;
    ReplaceImage(std::move(image));
}

void TDIB::SetHeight(int32_t height)
{
    if (height == 0 || height == INT32_MIN)
        throw EDIBInvalidDIBPara("TDIB.SetHeight: Invalid Height");
    const BitmapInfoHeader& info = m_internal->Image.info;
    if (height == info.biHeight)
        return;
    DibImage image = BlankImage(info.biWidth, height, info.biBitCount, info.biClrUsed);
    image.info.biXPelsPerMeter = info.biXPelsPerMeter;
    image.info.biYPelsPerMeter = info.biYPelsPerMeter;
    ReplaceImage(std::move(image));
}

void TDIB::SetBitCount(int bitCount)
{
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24)
        throw EDIBInvalidDIBPara("TDIB.SetBitCount: Invalid BitCount");
    const BitmapInfoHeader& info = m_internal->Image.info;
    DibImage image
        = BlankImage(info.biWidth, info.biHeight, bitCount, ColoursForBitCount(bitCount));
    image.info.biXPelsPerMeter = info.biXPelsPerMeter;
    image.info.biYPelsPerMeter = info.biYPelsPerMeter;
    ReplaceImage(std::move(image));
}

void TDIB::SetPixelFormat(DibPixelFormat format)
{
    if (format == PixelFormat())
        return;
    ConversionOptions options;
    options.quantiseMode = QuantiseMode;
    options.oneBitColour = OneBitColour;
    platform::ProgressHandler progress = [this](const platform::ProgressReport& report) {
        // The conversions report percentages, so the total is counted in hundredths.
        ProgressText = report.text;
        ProgressTotal = 100;
        ProgressCount = report.percent;
        if (OnProgress)
            OnProgress(report);
    };
    ReplaceImage(ConvertPixelFormat(m_internal->Image, format, options, progress));
}

platform::HPalette TDIB::Palette() const
{
    if (PaletteDrawMode == 1)
        return FixedHalftonePalette();
    if (PaletteDrawMode == 2)
        return FixedBlackWhitePalette();
    TInternalDIB& dib = *m_internal;
    if (dib.ColorsUsed() == 0)
        return nullptr;
    if (!dib.PaletteHandle) {
        dib.PaletteHandle = platform::CreatePaletteFromColorTable(
            std::span<const RGBQuad>(dib.Image.colorTable.data(), dib.ColorsUsed()));
        if (!dib.PaletteHandle)
            throw EOutOfResources("GetPaletteFromDIBInfos: Cannot Make Palette");
    }
    return dib.PaletteHandle;
}

void TDIB::SetPalette(const platform::HPalette& palette)
{
    if (palette && palette->entries.empty())
        throw EDIBInvalidPalette("TDIB.SetPalette: Invalid Palette");
    UniqueDIB();
    TInternalDIB& dib = *m_internal;
    if (!palette) {
        dib.Image.info.biClrUsed = 0;
        dib.PaletteHandle = nullptr;
    } else {
        size_t n = std::min<size_t>(palette->entries.size(), 256);
        dib.Image.info.biClrUsed = uint32_t(n);
        for (size_t i = 0; i < n; ++i)
            dib.Image.colorTable[i] = platform::ToRGBQuad(palette->entries[i]);
        dib.PaletteHandle = palette;
    }
    dib.PaletteChanged = true;
    UpdatePaletteModified();
    SetModified(true);
}

uint8_t* TDIB::ScanLine(int32_t y)
{
    UniqueDIB();
    TInternalDIB& dib = *m_internal;
    if (y < 0 || y >= dib.Height)
        throw EDIBPixelPositionRange("TDIB.GetScanLine: y is Out of Range");
    if (IsCompressed(dib.Image.info))
        throw EDIBBadDIBType("TDIB.GetScanLine: Bad DIB Type");
    size_t rowBytes = *platform::BmpRowBytes(dib.Width, dib.Image.info.biBitCount);
    size_t memoryRow = dib.Image.info.biHeight < 0 ? size_t(y) : size_t(dib.Height - 1 - y);
    return dib.Image.bits.Data() + memoryRow * rowBytes;
}

void TDIB::SetPixels(int32_t x, int32_t y, uint32_t value)
{
    UniqueDIB();
    TInternalDIB& dib = *m_internal;
    if (x < 0 || x >= dib.Width || y < 0 || y >= dib.Height)
        throw EDIBPixelPositionRange("TDIB.SetPixels: Pixel Position is Out of Range");
    if (IsCompressed(dib.Image.info))
        throw EDIBBadDIBType("TDIB.SetPixels: Bad DIB Type");
    const int bits = dib.Image.info.biBitCount;
    if (bits == 8 && value > 255)
        throw EDIBInvalidDIBPara("TDIB.SetPixels: Invalid Pixel Value");
    uint8_t* row = ScanLine(y);
    switch (bits) {
    case 1: {
        uint8_t bit = uint8_t(0x80 >> (x & 7));
        row[x >> 3] = value != 0 ? uint8_t(row[x >> 3] | bit) : uint8_t(row[x >> 3] & ~bit);
        break;
    }
    case 4:
        if (x & 1)
            row[x >> 1] = uint8_t((row[x >> 1] & 0xF0) | (value & 0x0F));
        else
            row[x >> 1] = uint8_t((row[x >> 1] & 0x0F) | ((value & 0x0F) << 4));
        break;
    case 8:
        row[x] = uint8_t(value);
        break;
    default:
        row[3 * x] = platform::GetBValue(value);
        row[3 * x + 1] = platform::GetGValue(value);
        row[3 * x + 2] = platform::GetRValue(value);
        break;
    }
    SetModified(true);
}

void TDIB::UniqueDIB()
{
    if (m_internal->RefCount <= 1)
        return;
    auto copy = std::make_unique<TInternalDIB>(*m_internal);
    --m_internal->RefCount;
    m_internal = copy.release();
}

void TDIB::UpdatePaletteModified()
{
    if (!m_internal->PaletteChanged)
        return;
    assert(m_internal->RefCount == 1);
    m_internal->PaletteChanged = false;
    SetPaletteModified(true);
}

// ---- TDibEx ----

void TDibEx::WritePixelBlock(std::span<const uint8_t> source)
{
    if (source.size() < PixelBlockSize())
        throw EDIBInvalidDIBPara("TDibEx.WritePixelBlock: Source is too small");
    UniqueDIB();
    std::memcpy(MutableInternal().Image.bits.Data(), source.data(), PixelBlockSize());
    SetModified(true);
}

void TDibEx::ReadPixelBlock(std::span<uint8_t> destination) const
{
    if (destination.size() < PixelBlockSize())
        throw EDIBInvalidDIBPara("TDibEx.ReadPixelBlock: Destination is too small");
    std::memcpy(destination.data(), Internal().Image.bits.Data(), PixelBlockSize());
}

std::span<uint8_t> TDibEx::PixelBlock()
{
    UniqueDIB();
    return { MutableInternal().Image.bits.Data(), PixelBlockSize() };
}

uint32_t TDibEx::GetPixels(int32_t x, int32_t y) const
{
    const TInternalDIB& dib = Internal();
    if (IsCompressed(dib.Image.info))
        throw EDIBBadDIBType("TDIB.GetPixels: Bad DIB Type");
    if (x < 0 || x >= dib.Width || y < 0 || y >= dib.Height)
        return 0;
    size_t rowBytes = *platform::BmpRowBytes(dib.Width, dib.Image.info.biBitCount);
    size_t memoryRow = dib.Image.info.biHeight < 0 ? size_t(y) : size_t(dib.Height - 1 - y);
    const uint8_t* row = dib.Image.bits.Data() + memoryRow * rowBytes;
    switch (dib.Image.info.biBitCount) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
        return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    case 8:
        return row[x];
    default:
        return platform::Rgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    }
}

// ---- TDIBCanvas ----

namespace {
    TDIB& CheckedCanvasTarget(TDIB& dib)
    {
        if (!dib.UseFMO())
            throw EDIBCanvasFailed("TDIBCanvas.Create: Cannot Create Canvas");
        // A DIB section can't be laid over run-length data.
        if (IsCompressed(dib.Info()))
            throw EOutOfResources("TDIBCanvas.Create: Cannot Create Memory DC");
        dib.UniqueDIB();
        return dib;
    }
}

TDIBCanvas::TDIBCanvas(TDIB& dib)
    : m_dib(CheckedCanvasTarget(dib))
{
    // The canvas draws on a bitmap of the buffer's own layout and palette; the drawing is put
    // back into the buffer's rows when the canvas goes away.
    const TInternalDIB& internal = dib.Internal();
    TBitmap bitmap(
        internal.Width, internal.Height, BitmapFormatForBits(internal.Image.info.biBitCount));
    if (internal.ColorsUsed() > 0)
        bitmap.SetPalette(
            std::span<const RGBQuad>(internal.Image.colorTable.data(), internal.ColorsUsed()));
    const size_t rowBytes = bitmap.RowBytes();
    const bool topDown = internal.Image.info.biHeight < 0;
    for (int32_t y = 0; y < internal.Height; ++y) {
        size_t memoryRow = topDown ? size_t(y) : size_t(internal.Height - 1 - y);
        std::memcpy(
            bitmap.ScanLine(y), internal.Image.bits.Data() + memoryRow * rowBytes, rowBytes);
    }
    m_bitmap = std::move(bitmap);
}

TDIBCanvas::~TDIBCanvas()
{
    try {
        const size_t rowBytes = m_bitmap.RowBytes();
        for (int32_t y = 0; y < m_bitmap.Height(); ++y)
            std::memcpy(m_dib.ScanLine(y), m_bitmap.ScanLine(y), rowBytes);
        m_dib.UpdatePaletteModified();
        m_dib.SetModified(true);
    } catch (...) {
        // A destructor can't report; the rows are the buffer's own, so nothing above throws.
    }
}

} // namespace vtl::document
