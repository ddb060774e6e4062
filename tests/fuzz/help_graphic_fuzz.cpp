// The help-graphic reader and the metafile record reader on arbitrary bytes. An odd first byte
// sends the rest straight to the metafile reader; otherwise the whole input is a help-graphic
// file. Every record that comes out must carry the numbers the player reads for its kind.
#include "document/dib_errors.h"
#include "input/help_graphic.h"
#include "input/metafile_records.h"
#include "platform/bitmap.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

using vtl::input::WmfOp;
using vtl::input::WmfPicture;

size_t ArgsOf(WmfOp op)
{
    switch (op) {
    case WmfOp::SetWindowOrg:
    case WmfOp::SetWindowExt:
    case WmfOp::SetViewportOrg:
    case WmfOp::SetViewportExt:
    case WmfOp::OffsetWindowOrg:
    case WmfOp::OffsetViewportOrg:
    case WmfOp::MoveTo:
    case WmfOp::LineTo:
    case WmfOp::TextOut:
        return 2;
    case WmfOp::ScaleWindowExt:
    case WmfOp::ScaleViewportExt:
    case WmfOp::Rectangle:
    case WmfOp::Ellipse:
    case WmfOp::IntersectClipRect:
    case WmfOp::ExcludeClipRect:
        return 4;
    case WmfOp::SetMapMode:
    case WmfOp::SetBkMode:
    case WmfOp::SetPolyFillMode:
    case WmfOp::SetTextAlign:
    case WmfOp::SetRop2:
    case WmfOp::SetBkColor:
    case WmfOp::SetTextColor:
    case WmfOp::SelectObject:
    case WmfOp::DeleteObject:
    case WmfOp::RestoreDC:
        return 1;
    case WmfOp::CreatePen:
    case WmfOp::CreateBrush:
    case WmfOp::SetPixel:
        return 3;
    case WmfOp::CreateFont:
        return 9;
    case WmfOp::RoundRect:
        return 6;
    case WmfOp::Arc:
    case WmfOp::Pie:
    case WmfOp::Chord:
        return 8;
    case WmfOp::ExtTextOut:
        return 7;
    case WmfOp::PatBlt:
        return 5;
    case WmfOp::DrawImage:
        return 9;
    default:
        return 0;
    }
}

void Check(const WmfPicture& picture)
{
    for (const auto& rec : picture.records) {
        if (rec.args.size() != ArgsOf(rec.op))
            std::abort();
        if (rec.op == WmfOp::PolyPolygon) {
            size_t total = 0;
            for (uint16_t c : rec.counts)
                total += c;
            if (total != rec.points.size())
                std::abort();
        }
        if (rec.op == WmfOp::ExtTextOut && !rec.dx.empty() && rec.dx.size() != rec.text.size())
            std::abort();
        if (rec.image && rec.image->Empty())
            std::abort();
    }
}

class CheckingPlayer : public vtl::input::IMetafilePlayer {
public:
    void Play(const WmfPicture& picture, vtl::platform::TBitmap&) override { Check(picture); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace vtl;
    try {
        if (size > 0 && (data[0] & 1)) {
            Check(input::ParseMetafile({ data + 1, size - 1 }));
        } else {
            CheckingPlayer player;
            platform::TBitmap bitmap;
            input::ReadHelpGraphic(bitmap, { data, size }, &player);
        }
    } catch (const platform::EReadError&) {
    } catch (const document::EInvalidGraphic&) {
    } catch (const platform::EInvalidGraphicFormat&) {
    } catch (const platform::EInvalidGraphicOperation&) {
    }
    return 0;
}
