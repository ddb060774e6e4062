#pragma once
// The byte-pair coder that packs each section of a thumbnail cache file. Input is cut into blocks
// of at most 8192 bytes and 200 distinct values; in each block the byte values that do not occur
// stand for frequent pairs of other codes. A block is the pair table, the packed length and the
// packed bytes. The packer's choices are part of the format: the same input always gives the same
// bytes, so existing cache files and their readers agree with what is written here.

#include "platform/byte_reader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace vtl::browse {

// A cache section that cannot be unpacked: a table or block running past the section, pair codes
// that refer to each other without end, or more or fewer bytes than the section records.
class EThumbCacheDamaged : public std::runtime_error {
public:
    EThumbCacheDamaged()
        : std::runtime_error("Thumbnail cache is damaged")
    {
    }
};

// Which codes of a block stand for pairs, and for which pair; every other code is a literal.
struct PairTable {
    std::array<bool, 256> isPair {};
    std::array<uint8_t, 256> left {};
    std::array<uint8_t, 256> right {};
};

// The table as a block starts with it: runs of literal codes as one count byte above 127, other
// codes in groups of a count byte and one or two bytes per code.
void AppendPairTable(const PairTable& table, std::vector<uint8_t>& out);
// Reads a table; EThumbCacheDamaged when it claims codes past 255, EReadError when it runs out.
PairTable ReadPairTable(platform::ByteReader& in);

// Packs `input` as one or more blocks (one block with an all-literal table for empty input).
std::vector<uint8_t> PackPairs(std::span<const uint8_t> input);

// Unpacks the blocks of `packed` until it is used up. The result must be exactly
// `unpackedLength` bytes; anything else throws EThumbCacheDamaged, as does a damaged block or one
// that unpacks to more than the 8192 bytes a block takes in.
// Nothing is read outside `packed` and the result never grows beyond `unpackedLength`.
std::vector<uint8_t> UnpackPairs(std::span<const uint8_t> packed, size_t unpackedLength);

} // namespace vtl::browse
