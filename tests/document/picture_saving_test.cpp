#include "codecs/jpeg_encoder.h"
#include "codecs/png_image.h"
#include "document/dib.h"
#include "document/picture_saving.h"
#include "platform/atomic_file.h"
#include "support/temp_dir.h"

#include <cerrno>
#include <csignal>
#include <functional>
#include <cstring>
#include <sys/resource.h>
#include <system_error>
#include <gtest/gtest.h>

using namespace vtl::document;
using vtl::platform::Rgb;
using vtl::platform::TBitmap;
using vtl::platform::TPixelFormat;
using vtl::testing::ReadFile;
using vtl::testing::TempDir;

namespace {
TBitmap Bands(TPixelFormat format)
{
    TBitmap b(31, 9, TPixelFormat::pf24bit);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 31; ++x)
            b.SetPixel(x, y, y < 4 ? Rgb(255, 0, 0) : Rgb(0, 0, 255));
    b.SetPixelFormat(format);
    return b;
}
}

TEST(PictureSaving, EveryKindReadsBack)
{
    TempDir dir;
    for (auto [kind, name] : { std::pair { SaveKind::Bmp, "a.bmp" }, { SaveKind::Png, "a.png" },
             { SaveKind::PngInterlace, "b.png" }, { SaveKind::PngTransparent, "c.png" },
             { SaveKind::PngInterlaceTransparent, "d.png" } }) {
        EXPECT_EQ(SavePicture(Bands(TPixelFormat::pf24bit), dir / name, kind, {}), SaveOutcome::Saved) << name;
        EXPECT_GT(std::filesystem::file_size(dir / name), 50u) << name;
    }
    TBitmap back;
    back.LoadFromFile(dir / "a.bmp");
    EXPECT_EQ(back.Pixel(30, 8), Rgb(0, 0, 255));

    EXPECT_EQ(SavePicture(Bands(TPixelFormat::pf8bit), dir / "rle.bmp", SaveKind::BmpRle, {}), SaveOutcome::Saved);
    TDIB rle;
    rle.LoadFromFile(dir / "rle.bmp");
    EXPECT_EQ(rle.PixelFormat(), DibPixelFormat::Dib8BitRle);
    EXPECT_EQ(SavePicture(Bands(TPixelFormat::pf24bit), dir / "no.bmp", SaveKind::BmpRle, {}), SaveOutcome::NotPaletted);
    EXPECT_FALSE(std::filesystem::exists(dir / "no.bmp"));
}

TEST(PictureSaving, AFailedWriteKeepsTheOldFile)
{
    TempDir dir;
    const auto path = dir / "keep.jpg";
    ASSERT_EQ(SavePicture(Bands(TPixelFormat::pf24bit), path, SaveKind::Jpeg, { 90, false }), SaveOutcome::Saved);
    const std::string before = ReadFile(path);
    vtl::platform::SetRenameFunctionForTesting([](const char*, const char*) {
        errno = ENOSPC;
        return -1;
    });
    for (SaveKind kind : { SaveKind::Jpeg, SaveKind::Bmp, SaveKind::Png })
        EXPECT_THROW(SavePicture(Bands(TPixelFormat::pf24bit), path, kind, { 20, false }), std::exception);
    vtl::platform::SetRenameFunctionForTesting({});
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

namespace {
// A picture of grain, so that every kind's file is larger than the writer's 1 MiB buffer.
TBitmap Grain(int width, int height)
{
    TBitmap b(width, height, TPixelFormat::pf24bit);
    uint32_t state = 12345;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = b.ScanLine(y);
        for (int x = 0; x < width * 3; ++x) {
            state = state * 1103515245u + 12345u;
            row[x] = uint8_t(state >> 24);
        }
    }
    return b;
}

// While alive, files this process writes can't grow past `bytes`: a disk that fills part-way.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old {};
    void (*m_oldHandler)(int) = nullptr;
};
}

// Files are written in pieces as they are encoded: what arrives on disk is what the in-memory
// encoders make, byte for byte, across the writer's buffer and past it.
TEST(PictureSaving, PiecesMakeTheSameFilesAsWholeBuffers)
{
    TempDir dir;
    const TBitmap grain = Grain(700, 620);
    ASSERT_EQ(SavePicture(grain, dir / "g.jpg", SaveKind::Jpeg, { 95, false }), SaveOutcome::Saved);
    const auto jpeg = vtl::codecs::EncodeJpeg(grain, 95);
    EXPECT_EQ(ReadFile(dir / "g.jpg"), std::string(jpeg.begin(), jpeg.end()));
    ASSERT_EQ(SavePicture(grain, dir / "g.bmp", SaveKind::Bmp, {}), SaveOutcome::Saved);
    vtl::platform::TMemoryStream bmp;
    grain.SaveToStream(bmp);
    EXPECT_EQ(ReadFile(dir / "g.bmp"),
        std::string(reinterpret_cast<const char*>(bmp.Bytes().data()), bmp.Bytes().size()));
    ASSERT_EQ(SavePicture(grain, dir / "g.png", SaveKind::Png, {}), SaveOutcome::Saved);
    TBitmap back;
    back.Assign(grain);
    vtl::codecs::TPngImage png;
    png.LoadFromFile(dir / "g.png");
    png.AssignTo(back);
    ASSERT_EQ(back.Width(), 700);
    for (int y = 0; y < 620; y += 61)
        EXPECT_EQ(std::memcmp(back.ScanLine(y), grain.ScanLine(y), 700 * 3), 0) << y;
}

// A disk that fills part-way through the file: the save fails with the file's name, the old file
// is kept as it was and no temporary file is left behind, for every kind.
TEST(PictureSaving, ADiskFullPartWayKeepsTheOldFile)
{
    TempDir dir;
    const auto path = dir / "old.bmp";
    vtl::testing::WriteFile(path, "the old contents");
    const TBitmap grain = Grain(700, 620);
    for (SaveKind kind : { SaveKind::Bmp, SaveKind::Jpeg, SaveKind::Png }) {
        FileSizeLimit limit(200 * 1024);
        try {
            SavePicture(grain, path, kind, { 95, false });
            ADD_FAILURE() << "saved past the limit, kind " << int(kind);
        } catch (const std::system_error& e) {
            EXPECT_NE(std::string(e.what()).find(path.string()), std::string::npos) << e.what();
        }
    }
    // The buffer's and the bitmap's own saving (a converted BMP from vtlc, a scanned page) too.
    TDIB dib;
    dib.Assign(grain);
    const std::function<void()> ownSaves[] = { [&] { dib.SaveToFile(path); },
        [&] { grain.SaveToFile(path); } };
    for (const auto& save : ownSaves) {
        FileSizeLimit limit(200 * 1024);
        EXPECT_THROW(save(), std::system_error);
    }
    EXPECT_EQ(ReadFile(path), "the old contents");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}
