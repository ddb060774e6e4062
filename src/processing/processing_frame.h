#pragma once
// The frame every processing command runs in: the status texts it shows, the 24-bit pixels it
// reads, the row ring of the neighbourhood filters, the reduction for palette displays, and the
// hand-over of the result that keeps the old picture for undo.
//
// An operation takes the picture, the undo picture (or none) and its parameters, and returns true
// when it replaced the picture. Until the very end it works only on bitmaps of its own; the
// hand-over cannot fail half-way, so an exception anywhere leaves picture and undo picture exactly
// as they were.

#include "platform/bitmap.h"
#include "platform/mapped_block.h"
#include "platform/parallel.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace vtl::processing {

using platform::TBitmap;

inline constexpr std::string_view kConvertingText = "変換中...";
inline constexpr std::string_view kReducingText = "減色中...";

// Where an operation reports what it is doing: panel 0 of the main window's status bar, which the
// window repaints at once. The command-line tool passes no sink at all.
class TStatusSink {
public:
    virtual ~TStatusSink() = default;
    virtual void ShowStatus(std::string_view text) = 0;
};

// What an operation needs to know about the program around it.
struct ProcessContext {
    TStatusSink* status = nullptr; // null: nobody shows the texts (vtlc, the HSI preview)
    bool paletteDisplay = false; // the screen has a 16- or 256-entry palette
    // Threads for the pixel work: 0 = the machine's cores (or VTL_THREADS); 1 forces one thread.
    // The result is the same whatever the number.
    int threads = 0;
};

// Shows a text for the time of one operation and empties panel 0 on every way out.
class StatusText {
public:
    StatusText(const ProcessContext& context, std::string_view text);
    ~StatusText();
    StatusText(const StatusText&) = delete;
    StatusText& operator=(const StatusText&) = delete;
    void Show(std::string_view text);

private:
    TStatusSink* m_sink;
};

// The picture's pixels as 24-bit rows, top row first. A 24-bit picture is read where it lies; any
// other is copied through an image buffer converted to Dib24Bit, as the work buffer is made.
class WorkSource {
public:
    explicit WorkSource(const TBitmap& picture);
    int32_t Width() const { return m_picture->Width(); }
    int32_t Height() const { return m_picture->Height(); }
    const uint8_t* Row(int32_t y) const { return m_rows[size_t(y)]; }
    const TBitmap& Bitmap() const { return *m_picture; }

private:
    TBitmap m_converted;
    const TBitmap* m_picture;
    std::vector<const uint8_t*> m_rows;
};

// Row pointers of a bitmap, taken once so that the pixel loops make no calls per row.
std::vector<uint8_t*> RowPointers(TBitmap& bitmap);
std::vector<const uint8_t*> ConstRowPointers(const TBitmap& bitmap);

// N row buffers of (width + N) pixels of `channels` values each, for a square window of N rows.
// The image row lies `half` pixels in, so that everything left and right of the picture reads as
// 0; buffers above the top or below the bottom are all 0. Turning the ring hands the top buffer to
// the bottom by exchanging pointers. Each band of a banded filter has a ring of its own, in a
// mapped block (which starts zero-filled).
template <typename T> class RowRing {
public:
    RowRing(int rows, int32_t width, int channels)
        : m_half(rows / 2)
        , m_channels(channels)
        , m_width(width)
        , m_stride(size_t(width + rows) * size_t(channels))
        , m_storage(m_stride * size_t(rows) * sizeof(T))
    {
        T* base = reinterpret_cast<T*>(m_storage.Data());
        for (int i = 0; i < rows; ++i)
            m_rows.push_back(base + size_t(i) * m_stride);
    }
    int Half() const { return m_half; }
    // Row buffer i, 0 being the top of the window; its pixel 0 is the image's column -half.
    T* operator[](int i) { return m_rows[size_t(i)]; }
    const T* const* Rows() const { return m_rows.data(); }
    // The image part of buffer i (column 0).
    T* ImageRow(int i) { return m_rows[size_t(i)] + size_t(m_half) * size_t(m_channels); }
    void ClearRow(int i) { std::fill_n(m_rows[size_t(i)], m_stride, T {}); }
    size_t ImageValues() const { return size_t(m_width) * size_t(m_channels); }
    // The top buffer becomes the bottom one; the caller fills it with the next row or clears it.
    void Turn()
    {
        T* top = m_rows.front();
        for (size_t i = 0; i + 1 < m_rows.size(); ++i)
            m_rows[i] = m_rows[i + 1];
        m_rows.back() = top;
    }
    int Size() const { return int(m_rows.size()); }

private:
    int m_half;
    int m_channels;
    int32_t m_width;
    size_t m_stride;
    platform::MappedBlock m_storage;
    std::vector<T*> m_rows;
};

// Runs `body(y)` for the image rows y = first .. last - 1 while the ring holds rows y - half ..
// y + half; `load(dest, y)` copies image row y into the image part of a row buffer.
template <typename T, typename Load, typename Body>
void RunRing(
    RowRing<T>& ring, int32_t height, int32_t first, int32_t last, Load&& load, Body&& body)
{
    const int n = ring.Size(), half = ring.Half();
    auto fill = [&](int slot, int32_t y) {
        if (y >= 0 && y < height)
            load(ring.ImageRow(slot), y);
        else
            ring.ClearRow(slot);
    };
    for (int i = 0; i < n; ++i)
        fill(i, first + i - half);
    for (int32_t y = first; y < last; ++y) {
        body(y);
        if (y + 1 == last)
            break;
        ring.Turn();
        fill(n - 1, y + half + 1);
    }
}

template <typename T, typename Load, typename Body>
void RunRing(RowRing<T>& ring, int32_t height, Load&& load, Body&& body)
{
    RunRing(ring, height, 0, height, load, body);
}

// Runs a row filter over every image row of a 24-bit source with an N-row window of 24-bit row
// buffers, in bands on `threads` threads (see ForEachBand). `makeFilter()` is called once for each
// band and gives the band's own `filter(rows, out)`, so that scratch space is never shared: rows[i]
// is the row buffer at window row i, out the output row (3 x width bytes).
template <typename MakeFilter>
void ForEachWindow24(const WorkSource& source, int n, std::vector<uint8_t*>& outRows, int threads,
    MakeFilter&& makeFilter)
{
    const int32_t width = source.Width(), height = source.Height();
    platform::ForEachBand(
        height, uint64_t(width) * uint64_t(height), threads, [&](int32_t first, int32_t last) {
            auto filter = makeFilter();
            RowRing<uint8_t> ring(n, width, 3);
            const size_t bytes = ring.ImageValues();
            RunRing(
                ring, height, first, last,
                [&](uint8_t* dest, int32_t y) { std::copy_n(source.Row(y), bytes, dest); },
                [&](int32_t y) { filter(ring.Rows(), outRows[size_t(y)]); });
        });
}

// Runs `rows(first, last)` over bands of the rows 0..height - 1 of a picture `width` pixels wide.
template <typename Rows>
void ForEachRowBand(int32_t width, int32_t height, int threads, Rows&& rows)
{
    platform::ForEachBand(height, uint64_t(std::max(width, 0)) * uint64_t(std::max(height, 0)),
        threads, [&](int32_t first, int32_t last) { rows(first, last); });
}

// Step 4 of the frame: a result of more than 8 bits per pixel is reduced to Dib8Bit by the image
// buffer's own quantiser when the screen has a palette, with "減色中..." shown meanwhile.
void ReduceForPaletteDisplay(TBitmap& result, const ProcessContext& context, StatusText& status);

// Step 5: the undo picture (when given) receives the picture, and the picture the result. Both
// copies are made before either target changes, so a failure here changes nothing.
void ReplacePicture(TBitmap& picture, TBitmap* undo, TBitmap&& result);

// Rounds to the nearest integer, halves to the even neighbour, and stores as a byte (0..255;
// anything not a number counts as 0).
inline uint8_t RoundToByte(double value)
{
    value = value > 0.0 ? value : 0.0;
    value = value < 255.0 ? value : 255.0;
    // Adding 2^52 leaves no fraction bits, so the addition itself rounds halves to even.
    constexpr double kShift = 4503599627370496.0;
    return static_cast<uint8_t>((value + kShift) - kShift);
}

inline uint8_t ClampToByte(int value)
{
    return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

} // namespace vtl::processing
