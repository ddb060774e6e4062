#include "input/metafile_records.h"

#include "document/dib_errors.h"
#include "platform/byte_reader.h"
#include "platform/checked.h"
#include "platform/stream.h"

#include <algorithm>
#include <optional>

namespace vtl::input {

using platform::ByteReader;
using platform::EReadError;
using platform::TBitmap;
using platform::TPoint;

namespace {

    constexpr uint16_t kMetaEof = 0x0000;

    // Function numbers of the records the player uses.
    enum : uint16_t {
        kSaveDc = 0x001E,
        kCreatePalette = 0x00F7,
        kCreateBrush = 0x00F8,
        kSetBkMode = 0x0102,
        kSetMapMode = 0x0103,
        kSetRop2 = 0x0104,
        kSetPolyFillMode = 0x0106,
        kRestoreDc = 0x0127,
        kSelectObject = 0x012D,
        kSetTextAlign = 0x012E,
        kDibCreatePatternBrush = 0x0142,
        kDeleteObject = 0x01F0,
        kCreatePatternBrush = 0x01F9,
        kSetBkColor = 0x0201,
        kSetTextColor = 0x0209,
        kSetWindowOrg = 0x020B,
        kSetWindowExt = 0x020C,
        kSetViewportOrg = 0x020D,
        kSetViewportExt = 0x020E,
        kOffsetWindowOrg = 0x020F,
        kOffsetViewportOrg = 0x0211,
        kLineTo = 0x0213,
        kMoveTo = 0x0214,
        kCreatePenIndirect = 0x02FA,
        kCreateFontIndirect = 0x02FB,
        kCreateBrushIndirect = 0x02FC,
        kCreateBitmapIndirect = 0x02FD,
        kPolygon = 0x0324,
        kPolyline = 0x0325,
        kScaleWindowExt = 0x0410,
        kScaleViewportExt = 0x0412,
        kExcludeClipRect = 0x0415,
        kIntersectClipRect = 0x0416,
        kEllipse = 0x0418,
        kRectangle = 0x041B,
        kSetPixel = 0x041F,
        kTextOut = 0x0521,
        kPolyPolygon = 0x0538,
        kRoundRect = 0x061C,
        kPatBlt = 0x061D,
        kCreateBitmap = 0x06FE,
        kCreateRegion = 0x06FF,
        kArc = 0x0817,
        kPie = 0x081A,
        kChord = 0x0830,
        kBitBlt = 0x0922,
        kDibBitBlt = 0x0940,
        kExtTextOut = 0x0A32,
        kStretchBlt = 0x0B23,
        kDibStretchBlt = 0x0B41,
        kSetDibToDev = 0x0D33,
        kStretchDib = 0x0F43,
    };

    constexpr uint16_t kDibPalColors = 1;
    constexpr uint16_t kPlaceableHeaderSize = 22;
    constexpr uint16_t kMetaHeaderWords = 9;
    constexpr uint32_t kExtTextOpaque = 0x0002;
    constexpr uint32_t kExtTextClipped = 0x0004;

    [[noreturn]] void NotValid() { throw document::EInvalidGraphic("Metafile is not valid"); }

    int32_t Word(ByteReader& r) { return r.i16le(); }

    TPoint PointXY(ByteReader& r)
    {
        int32_t x = Word(r);
        int32_t y = Word(r);
        return { x, y };
    }

    // Reads words in file order into args in reverse, which is the API order for most records.
    void ReversedWords(ByteReader& r, WmfRecord& rec, size_t count)
    {
        rec.args.resize(count);
        for (size_t i = count; i-- > 0;)
            rec.args[i] = Word(r);
    }

    std::vector<TPoint> Points(ByteReader& r, size_t count)
    {
        // Checked before reserving so that a count the record can't hold allocates nothing.
        if (count * 4 > r.Remaining())
            throw EReadError();
        std::vector<TPoint> points;
        points.reserve(count);
        for (size_t i = 0; i < count; ++i)
            points.push_back(PointXY(r));
        return points;
    }

    // The old device-dependent bitmap of BitBlt, StretchBlt and pattern brushes. Only the
    // monochrome kind is drawn (bits set are white), which is what these records held in
    // practice; colour ones depended on the screen that recorded them.
    std::shared_ptr<const TBitmap> LoadBitmap16(ByteReader& r)
    {
        r.Skip(2); // type
        const int32_t width = Word(r);
        const int32_t height = Word(r);
        const int32_t widthBytes = Word(r);
        const uint8_t planes = r.u8();
        const uint8_t bitsPixel = r.u8();
        if (planes != 1 || bitsPixel != 1 || width <= 0 || height <= 0 || widthBytes * 8 < width)
            return nullptr;
        auto bits = r.Take(static_cast<size_t>(widthBytes) * static_cast<size_t>(height));
        auto bitmap = std::make_shared<TBitmap>(width, height, platform::TPixelFormat::pf1bit);
        const platform::PaletteEntry mono[2] = { { 0, 0, 0, 0 }, { 255, 255, 255, 0 } };
        bitmap->SetPalette(std::span<const platform::PaletteEntry>(mono));
        const size_t rowBytes = static_cast<size_t>((width + 7) / 8);
        for (int32_t y = 0; y < height; ++y)
            std::copy_n(bits.begin() + static_cast<ptrdiff_t>(y) * widthBytes, rowBytes,
                bitmap->ScanLine(y));
        return bitmap;
    }

    // DrawImage from a bit-block record. withSource: the record names a source size (StretchBlt
    // kinds); bitmap16: the picture is the old device-dependent kind.
    bool BlitRecord(ByteReader& r, WmfRecord& rec, uint16_t function, size_t recordWords,
        bool stretch, bool bitmap16)
    {
        rec.op = WmfOp::DrawImage;
        const uint32_t rop = r.u32le();
        // A record just long enough for its numbers carries no picture: it paints with the brush.
        const size_t bareWords = 3 + (function >> 8);
        const bool hasImage = recordWords != bareWords;
        int32_t srcW = 0, srcH = 0;
        if (stretch) {
            srcH = Word(r);
            srcW = Word(r);
        }
        const int32_t ySrc = Word(r);
        const int32_t xSrc = Word(r);
        if (!hasImage)
            r.Skip(2);
        const int32_t dstH = Word(r);
        const int32_t dstW = Word(r);
        const int32_t yDst = Word(r);
        const int32_t xDst = Word(r);
        if (!stretch) {
            srcW = dstW;
            srcH = dstH;
        }
        if (hasImage) {
            rec.image = bitmap16 ? LoadBitmap16(r) : LoadPackedDib(r.Take(r.Remaining()));
            if (!rec.image)
                return false;
        }
        rec.args = { xDst, yDst, dstW, dstH, xSrc, ySrc, srcW, srcH, static_cast<int32_t>(rop) };
        return true;
    }

    // StretchDIBits and SetDIBitsToDevice count the source's y from the bottom of a bottom-up
    // DIB; the image we keep is counted from the top.
    int32_t TopOfSource(const TBitmap& image, bool bottomUp, int32_t ySrc, int32_t srcH)
    {
        return bottomUp ? image.Height() - ySrc - srcH : ySrc;
    }

    bool BottomUp(std::span<const uint8_t> dib)
    {
        ByteReader r(dib);
        uint32_t size = r.u32le();
        if (size == 12)
            return true;
        r.Skip(4);
        return r.i32le() > 0;
    }

    // One record into rec; false when the player has no use for it.
    bool ParseRecord(uint16_t function, ByteReader& r, size_t recordWords, WmfRecord& rec)
    {
        auto simple = [&](WmfOp op, size_t words) {
            rec.op = op;
            ReversedWords(r, rec, words);
            return true;
        };
        auto colour = [&](WmfOp op) {
            rec.op = op;
            rec.args = { static_cast<int32_t>(r.u32le() & 0x00FFFFFF) };
            return true;
        };
        auto arg = [&](WmfOp op) {
            rec.op = op;
            rec.args = { r.u16le() };
            return true;
        };
        switch (function) {
        case kSetWindowOrg:
            return simple(WmfOp::SetWindowOrg, 2);
        case kSetWindowExt:
            return simple(WmfOp::SetWindowExt, 2);
        case kSetViewportOrg:
            return simple(WmfOp::SetViewportOrg, 2);
        case kSetViewportExt:
            return simple(WmfOp::SetViewportExt, 2);
        case kOffsetWindowOrg:
            return simple(WmfOp::OffsetWindowOrg, 2);
        case kOffsetViewportOrg:
            return simple(WmfOp::OffsetViewportOrg, 2);
        case kScaleWindowExt:
            return simple(WmfOp::ScaleWindowExt, 4);
        case kScaleViewportExt:
            return simple(WmfOp::ScaleViewportExt, 4);
        case kSetMapMode:
            return arg(WmfOp::SetMapMode);
        case kSetBkMode:
            return arg(WmfOp::SetBkMode);
        case kSetPolyFillMode:
            return arg(WmfOp::SetPolyFillMode);
        case kSetTextAlign:
            return arg(WmfOp::SetTextAlign);
        case kSetRop2:
            return arg(WmfOp::SetRop2);
        case kSetBkColor:
            return colour(WmfOp::SetBkColor);
        case kSetTextColor:
            return colour(WmfOp::SetTextColor);
        case kCreatePenIndirect: {
            rec.op = WmfOp::CreatePen;
            int32_t style = r.u16le();
            int32_t width = Word(r);
            r.Skip(2);
            rec.args = { style, width, static_cast<int32_t>(r.u32le() & 0x00FFFFFF) };
            return true;
        }
        case kCreateBrushIndirect: {
            rec.op = WmfOp::CreateBrush;
            int32_t style = r.u16le();
            auto color = static_cast<int32_t>(r.u32le() & 0x00FFFFFF);
            rec.args = { style, color, r.u16le() };
            return true;
        }
        case kDibCreatePatternBrush: {
            rec.op = WmfOp::CreatePatternBrush;
            const uint16_t style = r.u16le();
            const uint16_t usage = r.u16le();
            // The picture is a DIB whatever the style says; only with BS_PATTERN (3) are its
            // colours always RGB, otherwise the usage may make them palette indices, which we
            // can't resolve.
            if (style == 3 || usage != kDibPalColors)
                rec.image = LoadPackedDib(r.Take(r.Remaining()));
            if (!rec.image)
                rec.op = WmfOp::CreateOtherObject; // keeps the object table in step
            return true;
        }
        case kCreateFontIndirect: {
            rec.op = WmfOp::CreateFont;
            rec.args.resize(9);
            for (size_t i = 0; i < 5; ++i)
                rec.args[i] = Word(r);
            for (size_t i = 5; i < 9; ++i)
                rec.args[i] = r.u8();
            r.Skip(4); // precisions, quality, pitch and family
            auto face = r.Take(std::min<size_t>(r.Remaining(), 32));
            auto end = std::find(face.begin(), face.end(), uint8_t(0));
            rec.text.assign(face.begin(), end);
            return true;
        }
        case kCreatePalette:
        case kCreateBrush:
        case kCreatePatternBrush:
        case kCreateBitmapIndirect:
        case kCreateBitmap:
        case kCreateRegion:
            rec.op = WmfOp::CreateOtherObject;
            return true;
        case kSelectObject:
            return arg(WmfOp::SelectObject);
        case kDeleteObject:
            return arg(WmfOp::DeleteObject);
        case kMoveTo:
            return simple(WmfOp::MoveTo, 2);
        case kLineTo:
            return simple(WmfOp::LineTo, 2);
        case kPolyline:
        case kPolygon: {
            rec.op = function == kPolyline ? WmfOp::Polyline : WmfOp::Polygon;
            const int32_t count = Word(r);
            if (count < 0)
                return false;
            rec.points = Points(r, static_cast<size_t>(count));
            return true;
        }
        case kPolyPolygon: {
            rec.op = WmfOp::PolyPolygon;
            const uint16_t polys = r.u16le();
            if (size_t(polys) * 2 > r.Remaining())
                return false;
            size_t total = 0;
            for (uint16_t i = 0; i < polys; ++i) {
                rec.counts.push_back(r.u16le());
                total += rec.counts.back();
            }
            rec.points = Points(r, total);
            return true;
        }
        case kRectangle:
            return simple(WmfOp::Rectangle, 4);
        case kEllipse:
            return simple(WmfOp::Ellipse, 4);
        case kIntersectClipRect:
            return simple(WmfOp::IntersectClipRect, 4);
        case kExcludeClipRect:
            return simple(WmfOp::ExcludeClipRect, 4);
        case kRoundRect: {
            rec.op = WmfOp::RoundRect;
            const int32_t h = Word(r);
            const int32_t w = Word(r);
            ReversedWords(r, rec, 4);
            rec.args.push_back(w);
            rec.args.push_back(h);
            return true;
        }
        case kArc:
        case kPie:
        case kChord: {
            rec.op = function == kArc ? WmfOp::Arc : function == kPie ? WmfOp::Pie : WmfOp::Chord;
            std::vector<int32_t> ends(4);
            for (size_t i = 4; i-- > 0;)
                ends[i] = Word(r); // xStart, yStart, xEnd, yEnd once reversed
            ReversedWords(r, rec, 4);
            rec.args.insert(rec.args.end(), ends.begin(), ends.end());
            return true;
        }
        case kTextOut: {
            rec.op = WmfOp::TextOut;
            const uint16_t length = r.u16le();
            auto bytes = r.Take(length);
            rec.text.assign(bytes.begin(), bytes.end());
            r.Skip(length & 1);
            const int32_t y = Word(r);
            const int32_t x = Word(r);
            rec.args = { x, y };
            return true;
        }
        case kExtTextOut: {
            rec.op = WmfOp::ExtTextOut;
            const int32_t y = Word(r);
            const int32_t x = Word(r);
            const uint16_t length = r.u16le();
            const uint16_t options = r.u16le();
            rec.args = { x, y, options, 0, 0, 0, 0 };
            if (options & (kExtTextOpaque | kExtTextClipped))
                for (size_t i = 3; i < 7; ++i)
                    rec.args[i] = Word(r);
            auto bytes = r.Take(length);
            rec.text.assign(bytes.begin(), bytes.end());
            if (length & 1 && r.Remaining() > 0)
                r.Skip(1);
            // Many writers leave the spacing array out.
            if (r.Remaining() >= size_t(length) * 2)
                for (uint16_t i = 0; i < length; ++i)
                    rec.dx.push_back(r.i16le());
            return true;
        }
        case kSetPixel: {
            rec.op = WmfOp::SetPixel;
            auto color = static_cast<int32_t>(r.u32le() & 0x00FFFFFF);
            const int32_t y = Word(r);
            const int32_t x = Word(r);
            rec.args = { x, y, color };
            return true;
        }
        case kPatBlt: {
            rec.op = WmfOp::PatBlt;
            auto rop = static_cast<int32_t>(r.u32le());
            ReversedWords(r, rec, 4); // x, y, width, height
            rec.args.push_back(rop);
            return true;
        }
        case kDibBitBlt:
            return BlitRecord(r, rec, function, recordWords, false, false);
        case kDibStretchBlt:
            return BlitRecord(r, rec, function, recordWords, true, false);
        case kBitBlt:
            return BlitRecord(r, rec, function, recordWords, false, true);
        case kStretchBlt:
            return BlitRecord(r, rec, function, recordWords, true, true);
        case kStretchDib: {
            rec.op = WmfOp::DrawImage;
            auto rop = static_cast<int32_t>(r.u32le());
            const uint16_t usage = r.u16le();
            const int32_t srcH = Word(r);
            const int32_t srcW = Word(r);
            const int32_t ySrc = Word(r);
            const int32_t xSrc = Word(r);
            const int32_t dstH = Word(r);
            const int32_t dstW = Word(r);
            const int32_t yDst = Word(r);
            const int32_t xDst = Word(r);
            if (usage == kDibPalColors)
                return false;
            auto dib = r.Take(r.Remaining());
            rec.image = LoadPackedDib(dib);
            if (!rec.image)
                return false;
            const int32_t top = TopOfSource(*rec.image, BottomUp(dib), ySrc, srcH);
            rec.args = { xDst, yDst, dstW, dstH, xSrc, top, srcW, srcH, rop };
            return true;
        }
        case kSetDibToDev: {
            rec.op = WmfOp::DrawImage;
            const uint16_t usage = r.u16le();
            r.Skip(4); // scan count, start scan
            const int32_t ySrc = Word(r);
            const int32_t xSrc = Word(r);
            const int32_t h = Word(r);
            const int32_t w = Word(r);
            const int32_t yDst = Word(r);
            const int32_t xDst = Word(r);
            if (usage == kDibPalColors)
                return false;
            auto dib = r.Take(r.Remaining());
            rec.image = LoadPackedDib(dib);
            if (!rec.image)
                return false;
            const int32_t top = TopOfSource(*rec.image, BottomUp(dib), ySrc, h);
            rec.args = { xDst, yDst, w, h, xSrc, top, w, h, static_cast<int32_t>(0x00CC0020) };
            return true;
        }
        case kSaveDc:
            rec.op = WmfOp::SaveDC;
            return true;
        case kRestoreDc:
            rec.op = WmfOp::RestoreDC;
            rec.args = { Word(r) };
            return true;
        default:
            return false;
        }
    }

    // A picture's frame for a metafile without placeable header: the first window origin and
    // extent it sets.
    platform::TRect FrameFromRecords(const std::vector<WmfRecord>& records)
    {
        std::optional<TPoint> org, ext;
        for (const WmfRecord& rec : records) {
            if (rec.op == WmfOp::SetWindowOrg && !org)
                org = TPoint { rec.args[0], rec.args[1] };
            if (rec.op == WmfOp::SetWindowExt && !ext)
                ext = TPoint { rec.args[0], rec.args[1] };
        }
        if (!ext)
            return {};
        TPoint o = org.value_or(TPoint {});
        return { o.X, o.Y, o.X + ext->X, o.Y + ext->Y };
    }

} // namespace

std::shared_ptr<const TBitmap> LoadPackedDib(std::span<const uint8_t> dib)
{
    try {
        ByteReader r(dib);
        const uint32_t headerSize = r.u32le();
        uint64_t table = 0;
        if (headerSize == 12) {
            r.Skip(6);
            const uint16_t bits = r.u16le();
            table = bits <= 8 ? 3ull << bits : 0;
        } else if (headerSize >= 40) {
            r.Skip(10);
            const uint16_t bits = r.u16le();
            const uint32_t compression = r.u32le();
            r.Skip(12);
            const uint32_t used = r.u32le();
            table = 4ull * (used != 0 ? used : bits <= 8 ? 1u << bits : 0);
            if (compression == 3 && headerSize == 40)
                table += 12; // the three colour masks
        } else {
            return nullptr;
        }
        const uint64_t offset = 14 + uint64_t(headerSize) + table;
        const uint64_t fileSize = 14 + uint64_t(dib.size());
        if (offset > fileSize || fileSize > UINT32_MAX)
            return nullptr;
        std::vector<uint8_t> bmp(14);
        bmp[0] = 'B';
        bmp[1] = 'M';
        platform::PutU32le(&bmp[2], static_cast<uint32_t>(fileSize));
        platform::PutU32le(&bmp[10], static_cast<uint32_t>(offset));
        bmp.insert(bmp.end(), dib.begin(), dib.end());
        platform::TMemoryStream stream(std::move(bmp));
        auto bitmap = std::make_shared<TBitmap>();
        bitmap->LoadFromStream(stream);
        if (bitmap->Empty())
            return nullptr;
        return bitmap;
    } catch (const std::exception&) {
        // A picture the bitmap can't read is left out; the rest of the metafile still plays.
        return nullptr;
    }
}

WmfPicture ParseMetafile(std::span<const uint8_t> data)
{
    WmfPicture picture;
    ByteReader r(data);
    try {
        if (data.size() >= 4 && ByteReader(data).u32le() == kPlaceableKey) {
            picture.placeable = true;
            r.Skip(6); // key and handle
            const int32_t left = Word(r);
            const int32_t top = Word(r);
            const int32_t right = Word(r);
            const int32_t bottom = Word(r);
            picture.bounds = { left, top, right, bottom };
            picture.unitsPerInch = r.u16le();
            r.Seek(kPlaceableHeaderSize);
        }
        const uint16_t type = r.u16le();
        const uint16_t headerWords = r.u16le();
        if ((type != 1 && type != 2) || headerWords != kMetaHeaderWords)
            NotValid();
        r.Skip(2 + 4); // version, size
        picture.numberOfObjects = r.u16le();
        r.Skip(4 + 2); // largest record, unused
    } catch (const EReadError&) {
        NotValid();
    }

    while (r.Remaining() >= 6) {
        const uint32_t words = r.u32le();
        const uint16_t function = r.u16le();
        if (function == kMetaEof)
            break;
        // A record must at least hold its own size and function, and fit in the data.
        if (words < 3 || (uint64_t(words) - 3) * 2 > r.Remaining())
            break;
        ByteReader params(r.Take((size_t(words) - 3) * 2));
        WmfRecord rec;
        try {
            if (ParseRecord(function, params, words, rec))
                picture.records.push_back(std::move(rec));
        } catch (const EReadError&) {
            // A record too short for its function is skipped like an unknown one.
        }
    }
    if (!picture.placeable)
        picture.bounds = FrameFromRecords(picture.records);
    return picture;
}

} // namespace vtl::input
