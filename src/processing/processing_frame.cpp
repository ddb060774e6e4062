#include "processing/processing_frame.h"

#include "document/dib.h"

#include <utility>

namespace vtl::processing {

using document::DibPixelFormat;
using document::TDIB;
using platform::TPixelFormat;

StatusText::StatusText(const ProcessContext& context, std::string_view text)
    : m_sink(context.status)
{
    Show(text);
}

StatusText::~StatusText()
{
    if (m_sink) {
        try {
            m_sink->ShowStatus({});
        } catch (...) {
            // The window's status bar is gone; there is nothing left to clear.
        }
    }
}

void StatusText::Show(std::string_view text)
{
    if (m_sink)
        m_sink->ShowStatus(text);
}

WorkSource::WorkSource(const TBitmap& picture)
    : m_picture(&picture)
{
    if (picture.BitsPerPixel() != 24) {
        TDIB work;
        work.Assign(picture);
        if (work.PixelFormat() != DibPixelFormat::Dib24Bit)
            work.SetPixelFormat(DibPixelFormat::Dib24Bit);
        work.AssignTo(m_converted);
        m_picture = &m_converted;
    }
    m_rows.reserve(size_t(m_picture->Height()));
    for (int32_t y = 0; y < m_picture->Height(); ++y)
        m_rows.push_back(m_picture->ScanLine(y));
}

std::vector<uint8_t*> RowPointers(TBitmap& bitmap)
{
    std::vector<uint8_t*> rows;
    rows.reserve(size_t(bitmap.Height()));
    for (int32_t y = 0; y < bitmap.Height(); ++y)
        rows.push_back(bitmap.ScanLine(y));
    return rows;
}

std::vector<const uint8_t*> ConstRowPointers(const TBitmap& bitmap)
{
    std::vector<const uint8_t*> rows;
    rows.reserve(size_t(bitmap.Height()));
    for (int32_t y = 0; y < bitmap.Height(); ++y)
        rows.push_back(bitmap.ScanLine(y));
    return rows;
}

void ReduceForPaletteDisplay(TBitmap& result, const ProcessContext& context, StatusText& status)
{
    if (!context.paletteDisplay || result.BitsPerPixel() <= 8)
        return;
    status.Show(kReducingText);
    TDIB work;
    work.Assign(result);
    work.SetPixelFormat(DibPixelFormat::Dib8Bit); // QuantiseMode 0: the Low variant
    TBitmap reduced;
    work.AssignTo(reduced);
    result = std::move(reduced);
}

void ReplacePicture(TBitmap& picture, TBitmap* undo, TBitmap&& result)
{
    if (undo) {
        TBitmap old(picture);
        *undo = std::move(old);
    }
    picture = std::move(result);
    picture.Modified = true;
}

} // namespace vtl::processing
