#include "codecs/png_streams.h"

#include <algorithm>
#include <cstring>

namespace vtl::codecs {

using platform::EReadError;

TCustomReadStream::TCustomReadStream(platform::TStream& stream, size_t bufferSize)
    : m_stream(stream)
    , m_buffer(std::max<size_t>(bufferSize, 16))
    , m_streamSize(stream.Size())
{
}

bool TCustomReadStream::Fill()
{
    if (m_pos < m_end)
        return true;
    m_pos = 0;
    m_end = m_stream.Read(m_buffer.data(), m_buffer.size());
    return m_end > 0;
}

uint8_t TCustomReadStream::ReadByte()
{
    if (!Fill())
        throw EReadError();
    ++m_delivered;
    return m_buffer[m_pos++];
}

uint16_t TCustomReadStream::ReadWord()
{
    uint16_t high = ReadByte();
    return static_cast<uint16_t>((high << 8) | ReadByte());
}

uint32_t TCustomReadStream::ReadDWord()
{
    uint32_t high = ReadWord();
    return (high << 16) | ReadWord();
}

void TCustomReadStream::Read(std::span<uint8_t> out)
{
    while (!out.empty()) {
        auto view = Peek(out.size());
        if (view.empty())
            throw EReadError();
        std::memcpy(out.data(), view.data(), view.size());
        Consume(view.size());
        out = out.subspan(view.size());
    }
}

void TCustomReadStream::Skip(uint64_t count)
{
    size_t buffered = m_end - m_pos;
    if (count <= buffered) {
        Consume(static_cast<size_t>(count));
        return;
    }
    Consume(buffered);
    count -= buffered;
    uint64_t remaining = m_stream.Remaining();
    if (count > remaining) {
        m_stream.Seek(m_stream.Size());
        m_delivered += remaining;
        throw EReadError();
    }
    m_stream.Seek(m_stream.Position() + count);
    m_delivered += count;
}

std::span<const uint8_t> TCustomReadStream::Peek(size_t maxCount)
{
    if (!Fill())
        return {};
    return { m_buffer.data() + m_pos, std::min(maxCount, m_end - m_pos) };
}

void TCustomReadStream::Consume(size_t count)
{
    count = std::min(count, m_end - m_pos);
    m_pos += count;
    m_delivered += count;
}

bool TCustomReadStream::AtEnd() { return !Fill(); }

TCustomWriteStream::TCustomWriteStream(platform::TStream& stream, size_t bufferSize)
    : m_stream(stream)
    , m_buffer(std::max<size_t>(bufferSize, 16))
{
}

void TCustomWriteStream::WriteByte(uint8_t value)
{
    if (m_used == m_buffer.size())
        Flush();
    m_buffer[m_used++] = value;
}

void TCustomWriteStream::WriteWord(uint16_t value)
{
    WriteByte(static_cast<uint8_t>(value >> 8));
    WriteByte(static_cast<uint8_t>(value));
}

void TCustomWriteStream::WriteDWord(uint32_t value)
{
    WriteWord(static_cast<uint16_t>(value >> 16));
    WriteWord(static_cast<uint16_t>(value));
}

void TCustomWriteStream::Write(std::span<const uint8_t> bytes)
{
    if (bytes.empty())
        return;
    if (bytes.size() >= m_buffer.size()) {
        Flush();
        m_stream.Write(bytes.data(), bytes.size());
        m_written += bytes.size();
        return;
    }
    if (bytes.size() > m_buffer.size() - m_used)
        Flush();
    std::memcpy(m_buffer.data() + m_used, bytes.data(), bytes.size());
    m_used += bytes.size();
}

void TCustomWriteStream::Flush()
{
    if (m_used == 0)
        return;
    m_stream.Write(m_buffer.data(), m_used);
    m_written += m_used;
    m_used = 0;
}

void ProgressReporter::Start()
{
    m_last = 0;
    if (m_handler)
        m_handler({ platform::ProgressStage::Starting, 0, false, {}, {} });
}

void ProgressReporter::Step(uint64_t done, uint64_t total)
{
    if (!m_handler || total == 0)
        return;
    int percent = static_cast<int>(std::min<uint64_t>(done, total) * 100 / total);
    if (percent == m_last)
        return;
    m_last = percent;
    m_handler({ platform::ProgressStage::Running, percent, false, {}, {} });
}

void ProgressReporter::Finish()
{
    if (m_handler)
        m_handler({ platform::ProgressStage::Ending, 100, false, {}, {} });
}

} // namespace vtl::codecs
