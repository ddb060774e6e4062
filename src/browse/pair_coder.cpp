#include "browse/pair_coder.h"

#include "platform/byte_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>

namespace vtl::browse {

namespace {

    constexpr size_t kBlockLimit = 8192;
    constexpr int kDistinctLimit = 200;
    constexpr size_t kHashSlots = 8192;
    constexpr uint8_t kMinPairCount = 3;
    constexpr uint8_t kCountLimit = 255;
    // Count bytes above this start a run of literal codes; at most this many codes go in a run.
    constexpr int kRunBase = 127;

    class PairPacker {
    public:
        std::vector<uint8_t> Pack(std::span<const uint8_t> input)
        {
            std::vector<uint8_t> out;
            out.reserve(input.size() + input.size() / 8 + 16);
            size_t pos = 0;
            do {
                pos = ReadBlock(input, pos);
                ReplacePairs();
                WriteBlock(out);
            } while (pos < input.size());
            return out;
        }

    private:
        struct Slot {
            uint8_t a = 0;
            uint8_t b = 0;
            uint8_t count = 0;
        };

        // The slot of pair (a, b): the first one from a xor (b shl 5) that holds the pair or has
        // no count in this block. Nothing when every slot is taken by other pairs; a block can
        // make more distinct pairs than there are slots, and those pairs then go uncounted
        // rather than the search going round for ever.
        std::optional<size_t> Lookup(uint8_t a, uint8_t b)
        {
            size_t slot = size_t(a) ^ (size_t(b) << 5);
            for (size_t probes = 0; probes < kHashSlots; ++probes) {
                Slot& s = m_slots[slot];
                if ((s.a == a && s.b == b) || s.count == 0) {
                    s.a = a;
                    s.b = b;
                    if (!m_touched[slot]) {
                        m_touched[slot] = true;
                        m_touchedSlots.push_back(uint16_t(slot));
                    }
                    return slot;
                }
                slot = (slot + 1) % kHashSlots;
            }
            return std::nullopt;
        }

        void Increase(uint8_t a, uint8_t b)
        {
            auto slot = Lookup(a, b);
            if (!slot || m_slots[*slot].count == kCountLimit)
                return;
            if (++m_slots[*slot].count == kMinPairCount && !m_candidate[*slot]) {
                m_candidate[*slot] = true;
                m_candidates.push_back(uint16_t(*slot));
            }
        }

        void Decrease(uint8_t a, uint8_t b)
        {
            if (auto slot = Lookup(a, b); slot && m_slots[*slot].count > 1)
                --m_slots[*slot].count;
        }

        // Starts a block and fills it from input[pos]; returns the position after it. The
        // slots keep their pairs from the block before; only the counts start again.
        size_t ReadBlock(std::span<const uint8_t> input, size_t pos)
        {
            // Only slots used in the block before can hold a count.
            for (uint16_t slot : m_touchedSlots) {
                m_slots[slot].count = 0;
                m_touched[slot] = false;
            }
            m_touchedSlots.clear();
            for (uint16_t slot : m_candidates)
                m_candidate[slot] = false;
            m_candidates.clear();
            m_table = PairTable {};
            m_seen.fill(false);
            m_block.clear();
            int distinct = 0;
            while (
                pos < input.size() && m_block.size() < kBlockLimit && distinct < kDistinctLimit) {
                uint8_t value = input[pos++];
                if (!m_block.empty())
                    Increase(m_block.back(), value);
                if (!m_seen[value]) {
                    m_seen[value] = true;
                    ++distinct;
                }
                m_block.push_back(value);
            }
            return pos;
        }

        // The highest code that is still a literal and does not occur in the block.
        std::optional<uint8_t> FreeCode() const
        {
            for (int code = 255; code >= 0; --code) {
                if (!m_table.isPair[code] && !m_seen[code])
                    return uint8_t(code);
            }
            return std::nullopt;
        }

        // The first slot, in slot order, with the highest count, if that count is at least
        // kMinPairCount. Only slots whose count ever reached that can qualify.
        std::optional<size_t> BestPair() const
        {
            uint8_t best = kMinPairCount - 1;
            std::optional<size_t> found;
            for (uint16_t slot : m_candidates) {
                uint8_t count = m_slots[slot].count;
                if (count > best || (count == best && found && slot < *found)) {
                    best = count;
                    found = slot;
                }
            }
            return found;
        }

        void ReplacePairs()
        {
            for (;;) {
                std::optional<uint8_t> code = FreeCode();
                if (!code)
                    return;
                std::optional<size_t> best = BestPair();
                if (!best)
                    return;
                const uint8_t a = m_slots[*best].a;
                const uint8_t b = m_slots[*best].b;
                Replace(a, b, *code);
                m_table.isPair[*code] = true;
                m_table.left[*code] = a;
                m_table.right[*code] = b;
                m_slots[*best].count = 1;
            }
        }

        // Every non-overlapping (a, b) from the left becomes `code`, in place. The neighbours'
        // counts follow each replacement; "previous" is what was already written, so it may be
        // `code` itself. The bytes between occurrences are found and moved in bulk.
        void Replace(uint8_t a, uint8_t b, uint8_t code)
        {
            uint8_t* const d = m_block.data();
            const size_t length = m_block.size();
            size_t write = 0;
            size_t read = 0;
            auto keep = [&](size_t end) {
                if (write != read)
                    std::memmove(d + write, d + read, end - read);
                write += end - read;
                read = end;
            };
            while (read + 1 < length) {
                const void* hit = std::memchr(d + read, a, length - 1 - read);
                if (!hit)
                    break;
                const size_t at = size_t(static_cast<const uint8_t*>(hit) - d);
                if (d[at + 1] != b) {
                    keep(at + 1);
                    continue;
                }
                keep(at);
                if (write > 0) {
                    uint8_t previous = d[write - 1];
                    Decrease(previous, a);
                    Increase(previous, code);
                }
                if (read + 2 < length) {
                    uint8_t next = d[read + 2];
                    Decrease(b, next);
                    Increase(code, next);
                }
                d[write++] = code;
                read += 2;
            }
            keep(length);
            m_block.resize(write);
        }

        void WriteBlock(std::vector<uint8_t>& out) const
        {
            AppendPairTable(m_table, out);
            uint8_t length[4];
            platform::PutU32le(length, uint32_t(m_block.size()));
            out.insert(out.end(), length, length + 4);
            out.insert(out.end(), m_block.begin(), m_block.end());
        }

        std::array<Slot, kHashSlots> m_slots {};
        std::array<bool, kHashSlots> m_touched {};
        std::vector<uint16_t> m_touchedSlots;
        std::array<bool, kHashSlots> m_candidate {};
        std::vector<uint16_t> m_candidates;
        PairTable m_table;
        std::array<bool, 256> m_seen {};
        std::vector<uint8_t> m_block;
    };

    // ---- Unpacking ----

    // Lengths above this are not told apart: no section can be that long.
    constexpr uint64_t kLengthCap = uint64_t(1) << 40;
    // Pair codes this short are expanded once per block and then copied.
    constexpr size_t kShortExpansion = 32;

    struct UnpackBlock {
        PairTable table;
        // Bytes each code unpacks to; 0 for a pair code that leads back to itself.
        std::array<uint64_t, 256> length {};
        std::span<const uint8_t> data;
    };

    [[noreturn]] void Damaged() { throw EThumbCacheDamaged(); }

    // Lengths by repeated passes: a pair code gets one once both halves have one. What the
    // packer writes refers only to higher codes, so going downward settles it in one pass;
    // codes still without a length at the end are part of a loop.
    void ComputeLengths(UnpackBlock& block)
    {
        const PairTable& t = block.table;
        for (int code = 0; code < 256; ++code)
            block.length[code] = t.isPair[code] ? 0 : 1;
        for (int pass = 0; pass < 256; ++pass) {
            bool changed = false;
            for (int code = 255; code >= 0; --code) {
                if (block.length[code] != 0)
                    continue;
                uint64_t l = block.length[t.left[code]];
                uint64_t r = block.length[t.right[code]];
                if (l != 0 && r != 0) {
                    block.length[code] = std::min(l + r, kLengthCap);
                    changed = true;
                }
            }
            if (!changed)
                break;
        }
    }

    UnpackBlock ReadBlock(platform::ByteReader& in)
    {
        UnpackBlock block;
        block.table = ReadPairTable(in);
        uint32_t length = in.u32le();
        block.data = in.Take(length);
        ComputeLengths(block);
        return block;
    }

    // Expands the codes of one block. Each code met is expanded once into a 32-byte slot; after
    // that it costs one fixed-size copy, which is why the output needs kShortExpansion bytes of
    // room beyond its end.
    class BlockExpander {
    public:
        explicit BlockExpander(const UnpackBlock& block)
            : m_block(block)
        {
        }

        // Writes the expansion of `code` at `out`; more than fits before `end` is damage.
        uint8_t* Expand(uint8_t code, uint8_t* out, const uint8_t* end)
        {
            if (uint8_t n = m_shortLength[code]) {
                if (n > end - out)
                    Damaged();
                std::memcpy(out, m_short[code].data(), kShortExpansion);
                return out + n;
            }
            return ExpandFirstTime(code, out, end);
        }

    private:
        uint8_t* ExpandFirstTime(uint8_t code, uint8_t* out, const uint8_t* end)
        {
            const uint64_t length = m_block.length[code];
            if (length == 0 || length > uint64_t(end - out))
                Damaged();
            if (length > kShortExpansion)
                return ExpandWithStack(code, out);
            ExpandWithStack(code, m_short[code].data());
            m_shortLength[code] = uint8_t(length);
            std::memcpy(out, m_short[code].data(), kShortExpansion);
            return out + length;
        }

        // The table has been checked to hold no loop, so the pending right halves never
        // outnumber the pair codes.
        uint8_t* ExpandWithStack(uint8_t code, uint8_t* out) const
        {
            const PairTable& t = m_block.table;
            std::array<uint8_t, 257> stack;
            size_t depth = 0;
            stack[depth++] = code;
            while (depth > 0) {
                uint8_t c = stack[--depth];
                while (t.isPair[c]) {
                    if (depth >= stack.size())
                        Damaged();
                    stack[depth++] = t.right[c];
                    c = t.left[c];
                }
                *out++ = c;
            }
            return out;
        }

        const UnpackBlock& m_block;
        std::array<std::array<uint8_t, kShortExpansion>, 256> m_short;
        std::array<uint8_t, 256> m_shortLength {};
    };

} // namespace

void AppendPairTable(const PairTable& table, std::vector<uint8_t>& out)
{
    const auto& isPair = table.isPair;
    auto entry = [&](int code) {
        if (isPair[code]) {
            out.push_back(table.left[code]);
            out.push_back(table.right[code]);
        } else {
            out.push_back(uint8_t(code));
        }
    };
    int code = 0;
    while (code < 256) {
        if (!isPair[code]) {
            int run = 0;
            while (code + run < 256 && !isPair[code + run] && run < kRunBase)
                ++run;
            out.push_back(uint8_t(run + kRunBase));
            code += run;
            if (code == 256)
                return;
            entry(code);
            ++code;
        } else {
            // A single literal between pair codes stays inside the group.
            int n = 0;
            for (;;) {
                int next = code + n + 1;
                if (n < 127 && next < 256 && isPair[next])
                    ++n;
                else if (n < 125 && next < 254 && isPair[next + 1])
                    ++n;
                else
                    break;
            }
            out.push_back(uint8_t(n));
            for (int i = 0; i <= n; ++i)
                entry(code + i);
            code += n + 1;
        }
    }
}

PairTable ReadPairTable(platform::ByteReader& in)
{
    PairTable table;
    int code = 0;
    while (code < 256) {
        int k = in.u8();
        if (k > kRunBase) {
            code += k - kRunBase;
            if (code > 256)
                Damaged();
            k = 0;
            if (code == 256)
                break;
        }
        if (code + k > 255)
            Damaged();
        for (int i = 0; i <= k; ++i, ++code) {
            uint8_t l = in.u8();
            if (l != code) {
                table.isPair[code] = true;
                table.left[code] = l;
                table.right[code] = in.u8();
            }
        }
    }
    return table;
}

std::vector<uint8_t> PackPairs(std::span<const uint8_t> input)
{
    auto packer = std::make_unique<PairPacker>();
    return packer->Pack(input);
}

std::vector<uint8_t> UnpackPairs(std::span<const uint8_t> packed, size_t unpackedLength)
{
    // A block that yields anything takes at least a 3-byte table, its length and one code, and
    // yields at most kBlockLimit bytes; a longer recorded length is a lie, and nothing is
    // allocated for it.
    constexpr size_t kSmallestBlock = 8;
    if (unpackedLength / kBlockLimit > packed.size() / kSmallestBlock)
        Damaged();
    std::vector<uint8_t> result(unpackedLength + kShortExpansion);
    uint8_t* const end = result.data() + unpackedLength;
    uint8_t* out = result.data();
    platform::ByteReader in(packed);
    try {
        while (!in.AtEnd()) {
            UnpackBlock block = ReadBlock(in);
            BlockExpander expander(block);
            uint8_t* const blockStart = out;
            for (uint8_t code : block.data)
                out = expander.Expand(code, out, end);
            // The packer never puts more than a block's worth of input into a block.
            if (size_t(out - blockStart) > kBlockLimit)
                Damaged();
        }
    } catch (const platform::EReadError&) {
        Damaged();
    }
    if (out != end)
        Damaged();
    result.resize(unpackedLength);
    return result;
}

} // namespace vtl::browse
