#include "codecs/photo_tags.h"

#include "codecs/colour_profile.h"
#include "platform/byte_reader.h"
#include "platform/checked.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace vtl::codecs {

namespace {

    using platform::ByteReader;
    using platform::EReadError;

    // However a file is built, walking its markers, chunks or boxes stops after this many, so that
    // a file of millions of empty chunks costs no more than a few milliseconds.
    constexpr int kMaxStructures = 20000;
    // Exif blocks larger than a JPEG segment can hold are not read whole: only IFD0 is wanted.
    constexpr size_t kMaxDirectoryEntries = 4096;

    // Random access to the bytes of a file or of a block in memory. Read throws EReadError when
    // the bytes asked for are not all there, so that every parser stops at the first lie.
    class Source {
    public:
        virtual ~Source() = default;
        virtual uint64_t Size() const = 0;
        virtual void ReadInto(uint64_t offset, size_t count, uint8_t* out) const = 0;

        std::vector<uint8_t> Read(uint64_t offset, size_t count) const
        {
            Check(offset, count);
            std::vector<uint8_t> bytes(count);
            ReadInto(offset, count, bytes.data());
            return bytes;
        }
        void Check(uint64_t offset, uint64_t count) const
        {
            if (offset > Size() || count > Size() - offset)
                throw EReadError();
        }
    };

    class SpanSource : public Source {
    public:
        explicit SpanSource(std::span<const uint8_t> data)
            : m_data(data)
        {
        }
        uint64_t Size() const override { return m_data.size(); }
        void ReadInto(uint64_t offset, size_t count, uint8_t* out) const override
        {
            Check(offset, count);
            std::memcpy(out, m_data.data() + offset, count);
        }

    private:
        std::span<const uint8_t> m_data;
    };

    class FileSource : public Source {
    public:
        explicit FileSource(const std::filesystem::path& path)
            : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC))
        {
            struct stat info { };
            if (m_fd >= 0 && ::fstat(m_fd, &info) == 0 && S_ISREG(info.st_mode))
                m_size = uint64_t(info.st_size);
        }
        ~FileSource() override
        {
            if (m_fd >= 0)
                ::close(m_fd);
        }
        FileSource(const FileSource&) = delete;
        FileSource& operator=(const FileSource&) = delete;

        uint64_t Size() const override { return m_size; }
        void ReadInto(uint64_t offset, size_t count, uint8_t* out) const override
        {
            Check(offset, count);
            while (count > 0) {
                const ssize_t got = ::pread(m_fd, out, count, off_t(offset));
                if (got <= 0)
                    throw EReadError(); // the file shrank, or cannot be read
                out += got;
                count -= size_t(got);
                offset += uint64_t(got);
            }
        }

    private:
        int m_fd = -1;
        uint64_t m_size = 0;
    };

    bool StartsWith(std::span<const uint8_t> data, std::string_view text)
    {
        return data.size() >= text.size()
            && std::memcmp(data.data(), text.data(), text.size()) == 0;
    }

    // A profile is taken only when it looks like one: a header's worth of bytes and the "acsp"
    // signature where the ICC header keeps it. Anything else is left for nobody to choke on.
    std::vector<uint8_t> Plausible(std::vector<uint8_t> profile)
    {
        if (profile.size() < 128 || profile.size() > kMaxProfileBytes
            || !StartsWith(std::span(profile).subspan(36), "acsp"))
            return {};
        return profile;
    }

    // ---- TIFF directories (TIFF files, and the Exif blocks of JPEG, PNG and WebP) ----

    struct TiffTags {
        int orientation = 1;
        std::vector<uint8_t> iccProfile;
    };

    constexpr uint16_t kOrientationTag = 0x0112;
    constexpr uint16_t kIccProfileTag = 34675;
    constexpr uint16_t kTypeByte = 1;
    constexpr uint16_t kTypeShort = 3;
    constexpr uint16_t kTypeUndefined = 7;

    // IFD0 of the TIFF structure that starts at `base` and takes `length` bytes of `source`.
    // Only the first directory is read; the link to the next is never followed, so a chain of
    // directories that loops back costs nothing. With `wantProfile` cleared (Exif blocks, whose
    // profile travels elsewhere) tag 34675 is not looked at.
    TiffTags ReadIfd0(const Source& source, uint64_t base, uint64_t length, bool wantProfile)
    {
        TiffTags tags;
        source.Check(base, length);
        if (length < 8)
            return tags;
        const std::vector<uint8_t> header = source.Read(base, 8);
        bool little;
        if (StartsWith(header, "II"))
            little = true;
        else if (StartsWith(header, "MM"))
            little = false;
        else
            return tags;
        auto u16 = [little](ByteReader& r) { return little ? r.u16le() : r.u16be(); };
        auto u32 = [little](ByteReader& r) { return little ? r.u32le() : r.u32be(); };
        ByteReader head(header);
        head.Skip(2);
        if (u16(head) != 42)
            return tags; // BigTIFF and other variants carry no tags this reader knows
        const uint64_t ifd = u32(head);
        if (ifd < 8 || ifd > length - 2)
            return tags;
        const std::vector<uint8_t> countBytes = source.Read(base + ifd, 2);
        ByteReader countReader(countBytes);
        // A directory that claims more entries than the block holds is read as far as it goes.
        const uint64_t fits = (length - ifd - 2) / 12;
        const size_t count
            = size_t(std::min<uint64_t>({ u16(countReader), fits, kMaxDirectoryEntries }));
        const std::vector<uint8_t> entries = source.Read(base + ifd + 2, count * 12);
        ByteReader r(entries);
        for (size_t i = 0; i < count; ++i) {
            const uint16_t tag = u16(r);
            const uint16_t type = u16(r);
            const uint32_t n = u32(r);
            const std::span<const uint8_t> value = r.Take(4);
            if (tag == kOrientationTag) {
                if (type == kTypeShort && n == 1) {
                    const int v = little ? value[0] | value[1] << 8 : value[0] << 8 | value[1];
                    tags.orientation = v >= 1 && v <= 8 ? v : 1;
                }
            } else if (tag == kIccProfileTag && wantProfile
                && (type == kTypeUndefined || type == kTypeByte) && n > 4
                && n <= kMaxProfileBytes) {
                ByteReader at(value);
                const uint64_t offset = u32(at);
                if (offset <= length && n <= length - offset)
                    tags.iccProfile = Plausible(source.Read(base + offset, n));
            }
        }
        return tags;
    }

    // The orientation of an Exif block (a TIFF structure, sometimes still behind the "Exif\0\0"
    // of its JPEG segment, as a few writers leave it in PNG and WebP files); 1 when it is damaged.
    int ExifOrientation(const Source& source, uint64_t base, uint64_t length)
    {
        try {
            if (length >= 6) {
                const std::vector<uint8_t> head = source.Read(base, 6);
                if (StartsWith(head, std::string_view("Exif\0\0", 6))) {
                    base += 6;
                    length -= 6;
                }
            }
            return ReadIfd0(source, base, length, false).orientation;
        } catch (const EReadError&) {
            return 1;
        }
    }

    int ExifOrientation(std::span<const uint8_t> block)
    {
        SpanSource source(block);
        return ExifOrientation(source, 0, block.size());
    }

    // ---- JPEG ----

    struct IccPiece {
        int sequence;
        int count;
        std::vector<uint8_t> bytes;
    };

    // The pieces of an APP2 profile joined in their order: every number from 1 to the count
    // exactly once, all agreeing on the count. Anything else is no profile.
    std::vector<uint8_t> JoinIccPieces(std::vector<IccPiece>& pieces)
    {
        if (pieces.empty())
            return {};
        const int count = pieces.front().count;
        if (count < 1 || size_t(count) != pieces.size())
            return {};
        std::sort(pieces.begin(), pieces.end(),
            [](const IccPiece& a, const IccPiece& b) { return a.sequence < b.sequence; });
        std::vector<uint8_t> profile;
        for (int i = 0; i < count; ++i) {
            const IccPiece& piece = pieces[size_t(i)];
            if (piece.count != count || piece.sequence != i + 1)
                return {};
            if (piece.bytes.size() > kMaxProfileBytes - profile.size())
                return {};
            profile.insert(profile.end(), piece.bytes.begin(), piece.bytes.end());
        }
        return Plausible(std::move(profile));
    }

    PhotoTags ReadJpeg(const Source& source)
    {
        PhotoTags tags;
        bool exifSeen = false;
        std::vector<IccPiece> pieces;
        bool piecesBroken = false;
        uint64_t pos = 2;
        // A file that ends among its markers keeps what was found before the end.
        try {
            for (int segment = 0; segment < kMaxStructures; ++segment) {
                uint8_t marker[2];
                source.ReadInto(pos, 2, marker);
                if (marker[0] != 0xFF)
                    break; // not a marker: the structure is damaged, keep what was found
                if (marker[1] == 0xFF) {
                    ++pos; // a fill byte
                    continue;
                }
                if (marker[1] == 0xD9 || marker[1] == 0xDA)
                    break; // the pixels begin: no tag comes after them
                if (marker[1] == 0x01 || (marker[1] >= 0xD0 && marker[1] <= 0xD7)) {
                    pos += 2;
                    continue;
                }
                uint8_t lengthBytes[2];
                source.ReadInto(pos + 2, 2, lengthBytes);
                const size_t length = size_t(lengthBytes[0]) << 8 | lengthBytes[1];
                if (length < 2)
                    break;
                const uint64_t payload = pos + 4;
                const size_t size = length - 2;
                if (marker[1] == 0xE1 && !exifSeen && size >= 6) {
                    const std::vector<uint8_t> bytes = source.Read(payload, size);
                    if (StartsWith(bytes, std::string_view("Exif\0\0", 6))) {
                        // Only the first Exif segment counts; a second one is a thumbnail's or
                        // junk.
                        exifSeen = true;
                        tags.orientation = ExifOrientation(std::span(bytes).subspan(6));
                    }
                } else if (marker[1] == 0xE2 && size >= 14 && !piecesBroken) {
                    std::vector<uint8_t> bytes = source.Read(payload, size);
                    if (StartsWith(bytes, std::string_view("ICC_PROFILE\0", 12))) {
                        const int sequence = bytes[12], count = bytes[13];
                        if (pieces.size() >= 255) {
                            piecesBroken = true;
                        } else {
                            bytes.erase(bytes.begin(), bytes.begin() + 14);
                            pieces.push_back({ sequence, count, std::move(bytes) });
                        }
                    }
                }
                pos = payload + size;
            }
        } catch (const EReadError&) {
        }
        if (!piecesBroken)
            tags.iccProfile = JoinIccPieces(pieces);
        return tags;
    }

    // ---- PNG ----

    constexpr std::array<uint8_t, 8> kPngSignature { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n' };

    // zlib data inflated, but never to more than kMaxProfileBytes: a small chunk that would
    // inflate to gigabytes is refused as soon as it passes the limit.
    std::vector<uint8_t> InflateBounded(std::span<const uint8_t> compressed)
    {
        z_stream z {};
        if (inflateInit(&z) != Z_OK)
            return {};
        std::vector<uint8_t> out;
        std::array<uint8_t, 65536> buffer;
        z.next_in = const_cast<Bytef*>(compressed.data());
        z.avail_in = static_cast<uInt>(compressed.size());
        int status = Z_OK;
        while (status == Z_OK) {
            z.next_out = buffer.data();
            z.avail_out = static_cast<uInt>(buffer.size());
            status = inflate(&z, Z_NO_FLUSH);
            const size_t produced = buffer.size() - z.avail_out;
            if ((status != Z_OK && status != Z_STREAM_END)
                || produced > kMaxProfileBytes - out.size()) {
                status = Z_DATA_ERROR;
                break;
            }
            out.insert(out.end(), buffer.begin(), buffer.begin() + ptrdiff_t(produced));
            if (status == Z_OK && produced == 0 && z.avail_in == 0) {
                status = Z_BUF_ERROR; // the stream ends before its end
                break;
            }
        }
        inflateEnd(&z);
        return status == Z_STREAM_END ? out : std::vector<uint8_t> {};
    }

    std::vector<uint8_t> IccpProfile(std::span<const uint8_t> data)
    {
        // A name of 1 to 79 bytes, its terminating zero, the compression method (0: zlib).
        const auto end = std::find(
            data.begin(), data.begin() + ptrdiff_t(std::min<size_t>(data.size(), 80)), 0);
        const size_t nameLength = size_t(end - data.begin());
        if (nameLength == 0 || nameLength > 79 || nameLength + 2 > data.size()
            || data[nameLength + 1] != 0)
            return {};
        return Plausible(InflateBounded(data.subspan(nameLength + 2)));
    }

    PhotoTags ReadPng(const Source& source)
    {
        PhotoTags tags;
        bool exifSeen = false, profileSeen = false;
        uint64_t pos = kPngSignature.size();
        try {
            for (int chunk = 0; chunk < kMaxStructures; ++chunk) {
                const std::vector<uint8_t> header = source.Read(pos, 8);
                ByteReader r(header);
                const uint32_t length = r.u32be();
                const std::span<const uint8_t> type = r.Take(4);
                if (length > 0x7FFFFFFFu || StartsWith(type, "IDAT") || StartsWith(type, "IEND"))
                    break;
                const bool exif = StartsWith(type, "eXIf") && !exifSeen;
                const bool profile = StartsWith(type, "iCCP") && !profileSeen;
                if ((exif || profile) && length <= kMaxProfileBytes) {
                    // Type, data and CRC; a chunk whose CRC is wrong is damaged and not used.
                    const std::vector<uint8_t> bytes = source.Read(pos + 4, size_t(length) + 8);
                    const std::span<const uint8_t> data = std::span(bytes).subspan(4, length);
                    ByteReader crcReader { std::span(bytes).subspan(length + 4) };
                    const uint32_t crc
                        = static_cast<uint32_t>(crc32(0, bytes.data(), uInt(length + 4)));
                    if (crc == crcReader.u32be()) {
                        if (exif) {
                            exifSeen = true;
                            tags.orientation = ExifOrientation(data);
                        } else {
                            profileSeen = true;
                            tags.iccProfile = IccpProfile(data);
                        }
                    }
                }
                pos += uint64_t(length) + 12;
            }
        } catch (const EReadError&) {
        }
        return tags;
    }

    // ---- TIFF ----

    PhotoTags ReadTiff(const Source& source)
    {
        TiffTags found = ReadIfd0(source, 0, source.Size(), true);
        PhotoTags tags;
        tags.orientation = found.orientation;
        tags.iccProfile = std::move(found.iccProfile);
        return tags;
    }

    // ---- WebP ----

    PhotoTags ReadWebp(const Source& source)
    {
        PhotoTags tags;
        const std::vector<uint8_t> head = source.Read(0, 12);
        ByteReader riff { std::span(head).subspan(4, 4) };
        // A RIFF size that runs past the file is read as far as the file goes.
        const uint64_t end = std::min<uint64_t>(source.Size(), uint64_t(riff.u32le()) + 8);
        uint64_t pos = 12;
        bool wantExif = false, wantProfile = false;
        for (int chunk = 0; chunk < kMaxStructures && pos + 8 <= end; ++chunk) {
            const std::vector<uint8_t> header = source.Read(pos, 8);
            ByteReader r(header);
            const std::span<const uint8_t> type = r.Take(4);
            const uint32_t size = r.u32le();
            const uint64_t data = pos + 8;
            if (size > end - data)
                break;
            if (chunk == 0) {
                // Only the extended layout carries tags, and its flags say which.
                if (!StartsWith(type, "VP8X") || size < 1)
                    break;
                const uint8_t flags = source.Read(data, 1)[0];
                wantProfile = (flags & 0x20) != 0;
                wantExif = (flags & 0x08) != 0;
            } else if (StartsWith(type, "ICCP") && wantProfile) {
                wantProfile = false;
                if (size <= kMaxProfileBytes)
                    tags.iccProfile = Plausible(source.Read(data, size));
            } else if (StartsWith(type, "EXIF") && wantExif) {
                wantExif = false;
                tags.orientation = ExifOrientation(source, data, size);
            }
            if (!wantExif && !wantProfile)
                break;
            pos = data + size + (size & 1);
        }
        return tags;
    }

    // ---- HEIF and AVIF (ISO base media file format boxes) ----

    struct Box {
        std::array<char, 4> type {};
        uint64_t payload = 0; // offset of the contents
        uint64_t size = 0; // bytes of the contents
    };

    bool IsType(const Box& box, std::string_view type)
    {
        return std::memcmp(box.type.data(), type.data(), 4) == 0;
    }

    // The box at `pos` within [pos, end); nothing when its size lies about where it ends.
    std::optional<Box> BoxAt(const Source& source, uint64_t pos, uint64_t end)
    {
        if (pos > end || end - pos < 8)
            return std::nullopt;
        const std::vector<uint8_t> header = source.Read(pos, 8);
        ByteReader r(header);
        uint64_t size = r.u32be();
        Box box;
        std::memcpy(box.type.data(), r.Take(4).data(), 4);
        uint64_t headerSize = 8;
        if (size == 1) {
            if (end - pos < 16)
                return std::nullopt;
            const std::vector<uint8_t> large = source.Read(pos + 8, 8);
            ByteReader l(large);
            size = uint64_t(l.u32be()) << 32;
            size |= l.u32be();
            headerSize = 16;
        } else if (size == 0) {
            size = end - pos; // to the end of the enclosing box
        }
        if (size < headerSize || size > end - pos)
            return std::nullopt;
        box.payload = pos + headerSize;
        box.size = size - headerSize;
        return box;
    }

    // Every box directly inside [begin, end), in order, as far as their sizes are honest.
    std::vector<Box> Children(const Source& source, uint64_t begin, uint64_t end)
    {
        std::vector<Box> boxes;
        for (uint64_t pos = begin; boxes.size() < size_t(kMaxStructures);) {
            const std::optional<Box> box = BoxAt(source, pos, end);
            if (!box)
                break;
            boxes.push_back(*box);
            pos = box->payload + box->size;
        }
        return boxes;
    }

    // The orientation matrices, stored pixel to shown pixel about the picture's centre (x to the
    // right, y down): x' = m[0] x + m[1] y, y' = m[2] x + m[3] y. Index 0 is orientation 1.
    using Matrix = std::array<int, 4>;
    constexpr std::array<Matrix, 8> kOrientations { {
        { 1, 0, 0, 1 }, // 1 as stored
        { -1, 0, 0, 1 }, // 2 mirrored left to right
        { -1, 0, 0, -1 }, // 3 half turn
        { 1, 0, 0, -1 }, // 4 mirrored top to bottom
        { 0, 1, 1, 0 }, // 5 mirrored about the main diagonal
        { 0, -1, 1, 0 }, // 6 quarter turn clockwise
        { 0, -1, -1, 0 }, // 7 mirrored about the other diagonal
        { 0, 1, -1, 0 }, // 8 quarter turn anticlockwise
    } };

    Matrix Times(const Matrix& a, const Matrix& b)
    {
        return { a[0] * b[0] + a[1] * b[2], a[0] * b[1] + a[1] * b[3], a[2] * b[0] + a[3] * b[2],
            a[2] * b[1] + a[3] * b[3] };
    }

    int OrientationOf(const Matrix& m)
    {
        for (size_t i = 0; i < kOrientations.size(); ++i)
            if (kOrientations[i] == m)
                return int(i) + 1;
        return 1;
    }

    // The property indices (1-based) associated with `item`, in the order the associations list
    // them, from one ipma box.
    void Associations(std::span<const uint8_t> ipma, uint32_t item, std::vector<uint32_t>& indices)
    {
        ByteReader r(ipma);
        const uint8_t version = r.u8();
        const uint32_t flags = uint32_t(r.u8()) << 16 | uint32_t(r.u16be());
        const uint32_t entries = r.u32be();
        for (uint32_t e = 0; e < entries; ++e) {
            const uint32_t id = version < 1 ? r.u16be() : r.u32be();
            const uint8_t count = r.u8();
            for (uint8_t a = 0; a < count; ++a) {
                const uint32_t index = (flags & 1) ? r.u16be() & 0x7FFFu : r.u8() & 0x7Fu;
                if (id == item && index != 0)
                    indices.push_back(index);
            }
            if (id == item)
                return;
        }
    }

    PhotoTags ReadHeif(const Source& source)
    {
        PhotoTags tags;
        const uint64_t end = source.Size();
        const std::optional<Box> ftyp = BoxAt(source, 0, end);
        if (!ftyp || !IsType(*ftyp, "ftyp") || ftyp->size < 8)
            return tags;
        const std::vector<uint8_t> brands
            = source.Read(ftyp->payload, size_t(std::min<uint64_t>(ftyp->size, 4096)));
        static constexpr std::string_view kBrands[] = { "heic", "heix", "heim", "heis", "hevc",
            "hevx", "mif1", "msf1", "mif2", "avif", "avis" };
        bool known = false;
        for (size_t at = 0; at + 4 <= brands.size() && !known; at += at == 0 ? 8 : 4) {
            const std::string_view brand(reinterpret_cast<const char*>(brands.data() + at), 4);
            known = std::find(std::begin(kBrands), std::end(kBrands), brand) != std::end(kBrands);
        }
        if (!known)
            return tags;

        std::optional<Box> meta;
        for (const Box& box : Children(source, 0, end))
            if (IsType(box, "meta")) {
                meta = box;
                break;
            }
        if (!meta || meta->size < 4)
            return tags;
        std::optional<uint32_t> primary;
        std::vector<uint8_t> iprp;
        for (const Box& box : Children(source, meta->payload + 4, meta->payload + meta->size)) {
            if (IsType(box, "pitm") && !primary && box.size >= 6 && box.size <= 64) {
                const std::vector<uint8_t> bytes = source.Read(box.payload, size_t(box.size));
                ByteReader r(bytes);
                const uint8_t version = r.u8();
                r.Skip(3);
                primary = version == 0 ? r.u16be() : r.u32be();
            } else if (IsType(box, "iprp") && iprp.empty()
                && box.size <= kMaxProfileBytes + 65536) {
                iprp = source.Read(box.payload, size_t(box.size));
            }
        }
        if (!primary || iprp.empty())
            return tags;

        SpanSource properties(iprp);
        std::vector<Box> ipco;
        std::vector<uint32_t> indices;
        for (const Box& box : Children(properties, 0, iprp.size())) {
            if (IsType(box, "ipco") && ipco.empty())
                ipco = Children(properties, box.payload, box.payload + box.size);
            else if (IsType(box, "ipma") && indices.empty()) {
                try {
                    Associations(std::span(iprp).subspan(size_t(box.payload), size_t(box.size)),
                        *primary, indices);
                } catch (const EReadError&) {
                    indices.clear(); // a damaged association list associates nothing
                }
            }
        }
        Matrix shown = kOrientations[0];
        bool profileSeen = false;
        for (const uint32_t index : indices) {
            if (index > ipco.size())
                continue;
            const Box& property = ipco[index - 1];
            const std::span<const uint8_t> data
                = std::span(iprp).subspan(size_t(property.payload), size_t(property.size));
            if (IsType(property, "irot") && !data.empty()) {
                // Anticlockwise quarter turns.
                for (int turn = 0; turn < (data[0] & 3); ++turn)
                    shown = Times(kOrientations[7], shown);
            } else if (IsType(property, "imir") && !data.empty()) {
                // Mode 0 mirrors top to bottom, mode 1 left to right (the later reading of the
                // field that the encoders and decoders in use follow).
                shown = Times(kOrientations[(data[0] & 1) ? 1 : 3], shown);
            } else if (IsType(property, "colr") && !profileSeen && data.size() > 4
                && (StartsWith(data, "prof") || StartsWith(data, "rICC"))) {
                profileSeen = true;
                tags.iccProfile = Plausible(std::vector<uint8_t>(data.begin() + 4, data.end()));
            }
        }
        tags.orientation = OrientationOf(shown);
        return tags;
    }

    PhotoTags ReadTags(const Source& source)
    {
        try {
            if (source.Size() < 12)
                return {};
            const std::vector<uint8_t> head = source.Read(0, 12);
            const std::span<const uint8_t> bytes(head);
            if (bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF)
                return ReadJpeg(source);
            if (std::equal(kPngSignature.begin(), kPngSignature.end(), bytes.begin()))
                return ReadPng(source);
            if (StartsWith(bytes, std::string_view("II*\0", 4))
                || StartsWith(bytes, std::string_view("MM\0*", 4)))
                return ReadTiff(source);
            if (StartsWith(bytes, "RIFF") && StartsWith(bytes.subspan(8), "WEBP"))
                return ReadWebp(source);
            if (StartsWith(bytes.subspan(4), "ftyp"))
                return ReadHeif(source);
        } catch (const std::exception&) {
            // Whatever the damage (a read past the end, no memory for a lying size), the picture
            // is shown as stored.
        }
        return {};
    }

} // namespace

PhotoTags ReadPhotoTags(const std::filesystem::path& file)
{
    FileSource source(file);
    return ReadTags(source);
}

PhotoTags ReadPhotoTags(std::span<const uint8_t> data)
{
    SpanSource source(data);
    return ReadTags(source);
}

bool MakePhotoUpright(platform::TBitmap& bitmap, const PhotoTags& tags, const PhotoOptions& options)
{
    bool changed = false;
    if (options.upright && tags.orientation >= 2 && tags.orientation <= 8 && !bitmap.Empty()) {
        ApplyOrientation(bitmap, tags.orientation);
        changed = true;
    }
    if (options.trueColours && !tags.iccProfile.empty())
        changed = ConvertToSrgb(bitmap, tags.iccProfile) || changed;
    return changed;
}

} // namespace vtl::codecs
