// The metafile reader: records become a checked list; lengths that don't fit are never trusted.

#include "document/dib_errors.h"
#include "input/metafile_records.h"
#include "input/wmf_builder.h"

#include <gtest/gtest.h>

namespace vtl::input {
namespace {

    using vtl::testing::WmfBuilder;

    TEST(MetafileRecords, HeadersAndRecordArgumentsInApiOrder)
    {
        WmfBuilder b;
        b.Record(0x020B, { -5, 7 }) // SetWindowOrg: y, x
            .Record(0x041B, { 40, 90, 10, 20 }) // Rectangle: bottom, right, top, left
            .Record(0x061C, { 6, 8, 40, 90, 10, 20 }) // RoundRect
            .Record(0x0817, { 1, 2, 3, 4, 40, 90, 10, 20 }) // Arc: ends reversed, then box
            .Record(0x0325, { 2, 1, 2, 3, 4 }) // Polyline of 2
            .Record(0x02FA, { 0, 3, 0, 0x00FF, 0x0012 }) // CreatePenIndirect
            .Record(0x0201, { 0x3344, 0x7F22 }); // SetBkColor: the high byte is dropped
        WmfPicture p = ParseMetafile(b.Placeable(-10, -20, 300, 200, 1440));
        EXPECT_TRUE(p.placeable);
        EXPECT_EQ(p.bounds, platform::Rect(-10, -20, 300, 200));
        EXPECT_EQ(p.unitsPerInch, 1440);
        EXPECT_EQ(p.numberOfObjects, 8);
        ASSERT_EQ(p.records.size(), 7u);
        EXPECT_EQ(p.records[0].args, (std::vector<int32_t> { 7, -5 }));
        EXPECT_EQ(p.records[1].args, (std::vector<int32_t> { 20, 10, 90, 40 }));
        EXPECT_EQ(p.records[2].args, (std::vector<int32_t> { 20, 10, 90, 40, 8, 6 }));
        EXPECT_EQ(p.records[3].args, (std::vector<int32_t> { 20, 10, 90, 40, 4, 3, 2, 1 }));
        EXPECT_EQ(p.records[4].points, (std::vector<platform::TPoint> { { 1, 2 }, { 3, 4 } }));
        EXPECT_EQ(p.records[5].args, (std::vector<int32_t> { 0, 3, 0x1200FF }));
        EXPECT_EQ(p.records[6].args, (std::vector<int32_t> { 0x223344 }));
    }

    TEST(MetafileRecords, BoundsWithoutPlaceableHeaderComeFromTheWindow)
    {
        WmfBuilder b;
        b.Record(0x020B, { 10, 5 }).Record(0x020C, { 300, 400 }).Record(0x020C, { 1, 1 });
        WmfPicture p = ParseMetafile(b.Metafile());
        EXPECT_FALSE(p.placeable);
        EXPECT_EQ(p.bounds, platform::Rect(5, 10, 405, 310));
    }

    TEST(MetafileRecords, BadHeadersAreRefused)
    {
        EXPECT_THROW(ParseMetafile({}), document::EInvalidGraphic);
        std::vector<uint8_t> m = WmfBuilder().Metafile();
        m[2] = 10; // header size
        EXPECT_THROW(ParseMetafile(m), document::EInvalidGraphic);
        m = WmfBuilder().Metafile();
        m[0] = 3; // type
        EXPECT_THROW(ParseMetafile(m), document::EInvalidGraphic);
        auto placeable = WmfBuilder().Placeable(0, 0, 10, 10);
        placeable.resize(30); // cut inside the metafile header
        EXPECT_THROW(ParseMetafile(placeable), document::EInvalidGraphic);
    }

    TEST(MetafileRecords, LengthsAreCheckedAgainstTheDataAndTheFunction)
    {
        WmfBuilder b;
        b.Record(0x041B, { 1, 2 }) // Rectangle with half its numbers: skipped
            .Record(0x0325, { 1000, 1, 2 }) // Polyline claiming 1000 points: skipped
            .Record(0x0538, { 2, 1, 5, 0, 0 }) // PolyPolygon counting 6 points, 1 there: skipped
            .Record(0x0521, { 200, 0x4241 }) // TextOut longer than its record: skipped
            .Record(0x0626, { 1, 2, 3 }) // Escape: not drawn
            .Record(0x0418, { 4, 3, 2, 1 }); // Ellipse: kept
        // A record claiming more words than there are ends the list.
        b.Bytes({ 0xFF, 0xFF, 0, 0, 0x18, 0x04, 1, 0 });
        WmfPicture p = ParseMetafile(b.Metafile(false));
        ASSERT_EQ(p.records.size(), 1u);
        EXPECT_EQ(p.records[0].op, WmfOp::Ellipse);

        // A size below three words ends the list too, and so does the end record.
        WmfBuilder c;
        c.Record(0x0418, { 4, 3, 2, 1 })
            .Bytes({ 2, 0, 0, 0, 0x18, 0x04 })
            .Record(0x0418, { 4, 3, 2, 1 });
        EXPECT_EQ(ParseMetafile(c.Metafile()).records.size(), 1u);
        WmfBuilder d;
        d.Record(0x0418, { 4, 3, 2, 1 }).Record(0x0000, {}).Record(0x0418, { 4, 3, 2, 1 });
        EXPECT_EQ(ParseMetafile(d.Metafile()).records.size(), 1u);
    }

    TEST(MetafileRecords, TextRecords)
    {
        WmfBuilder b;
        b.Raw(0x0521, [] {
            auto p = WmfBuilder::Words({ 3 });
            p.insert(p.end(), { 'a', 'b', 'c', 0 });
            auto xy = WmfBuilder::Words({ 20, 10 });
            p.insert(p.end(), xy.begin(), xy.end());
            return p;
        }());
        // ExtTextOut with a clipping rectangle and spacing for its two characters.
        b.Raw(0x0A32, [] {
            auto p = WmfBuilder::Words({ 20, 10, 2, 4, 1, 2, 3, 4 });
            p.insert(p.end(), { 'h', 'i' });
            auto dx = WmfBuilder::Words({ 7, 8 });
            p.insert(p.end(), dx.begin(), dx.end());
            return p;
        }());
        // ... and one without spacing, as many writers leave it.
        b.Raw(0x0A32, [] {
            auto p = WmfBuilder::Words({ 5, 6, 1, 0 });
            p.insert(p.end(), { 'x' });
            return p;
        }());
        WmfPicture p = ParseMetafile(b.Metafile());
        ASSERT_EQ(p.records.size(), 3u);
        EXPECT_EQ(p.records[0].text, "abc");
        EXPECT_EQ(p.records[0].args, (std::vector<int32_t> { 10, 20 }));
        EXPECT_EQ(p.records[1].text, "hi");
        EXPECT_EQ(p.records[1].args, (std::vector<int32_t> { 10, 20, 4, 1, 2, 3, 4 }));
        EXPECT_EQ(p.records[1].dx, (std::vector<int16_t> { 7, 8 }));
        EXPECT_EQ(p.records[2].text, "x");
        EXPECT_TRUE(p.records[2].dx.empty());
    }

    TEST(MetafileRecords, PicturesInRecords)
    {
        const auto dib = WmfBuilder::Dib24(2, 2, { 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF });
        auto stretchDib = WmfBuilder::Words({ 0x0020, 0x00CC, 0, 2, 2, 0, 0, 20, 20, 5, 5 });
        stretchDib.insert(stretchDib.end(), dib.begin(), dib.end());
        auto bitBlt = WmfBuilder::Words({ 0x0020, 0x00CC, 0, 0, 2, 2, 0, 0 });
        bitBlt.insert(bitBlt.end(), dib.begin(), dib.end());
        auto broken = stretchDib;
        broken[22] = 99; // header size of the DIB
        WmfBuilder b;
        b.Raw(0x0F43, stretchDib).Raw(0x0940, bitBlt).Raw(0x0F43, broken);
        // DIBBITBLT without a picture: paints with the brush.
        b.Record(0x0940, { 0x0021, 0x00F0, 0, 0, 0, 4, 4, 1, 1 });
        WmfPicture p = ParseMetafile(b.Metafile());
        ASSERT_EQ(p.records.size(), 3u);
        ASSERT_TRUE(p.records[0].image);
        EXPECT_EQ(p.records[0].image->Width(), 2);
        EXPECT_EQ(p.records[0].image->Pixel(0, 0), platform::Rgb(255, 0, 0));
        EXPECT_EQ(p.records[0].image->Pixel(1, 1), platform::Rgb(255, 255, 255));
        EXPECT_EQ(
            p.records[0].args, (std::vector<int32_t> { 5, 5, 20, 20, 0, 0, 2, 2, 0x00CC0020 }));
        ASSERT_TRUE(p.records[1].image);
        EXPECT_EQ(p.records[1].args, (std::vector<int32_t> { 0, 0, 2, 2, 0, 0, 2, 2, 0x00CC0020 }));
        EXPECT_FALSE(p.records[2].image);
        EXPECT_EQ(p.records[2].args, (std::vector<int32_t> { 1, 1, 4, 4, 0, 0, 4, 4, 0x00F00021 }));
    }

    TEST(MetafileRecords, StretchDibCountsTheSourceFromTheBottom)
    {
        // A 1 x 4 DIB; the source rectangle y = 0, height 1 counted from the bottom is the
        // lowest row, row 3 from the top.
        const auto dib = WmfBuilder::Dib24(1, 4, { 1, 2, 3, 4 });
        auto params = WmfBuilder::Words({ 0x0020, 0x00CC, 0, 1, 1, 0, 0, 2, 1, 0, 0 });
        params.insert(params.end(), dib.begin(), dib.end());
        WmfPicture p = ParseMetafile(WmfBuilder().Raw(0x0F43, params).Metafile());
        ASSERT_EQ(p.records.size(), 1u);
        EXPECT_EQ(p.records[0].args[5], 3);
        EXPECT_EQ(p.records[0].args[7], 1);
    }

} // namespace
} // namespace vtl::input
