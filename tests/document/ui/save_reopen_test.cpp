// Every kind the save dialog offers, written by the document's own save command, then read back
// by readers that share no code with the program (ImageMagick, djpeg, pngcheck) and by the
// program's own loader.

#include "app/ui/main_form.h"
#include "document/ui/mdi_child.h"
#include "input/ui/loading_pipeline.h"
#include "platform/qt/dialog_service.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"

#include <QFileInfo>
#include <QMdiArea>
#include <QProcess>
#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>

using vtl::app::ui::TMainForm;
using vtl::document::ui::TMDIChild;
using vtl::platform::PaletteEntry;
using vtl::platform::TBitmap;
using vtl::platform::TColor;
using vtl::platform::TPixelFormat;
using vtl::platform::qt::MsgResult;
using vtl::testing::DialogGuard;
using vtl::testing::TempDir;

namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

// ImageMagick's own convert: another program of that name may stand first on PATH.
const QString kConvert = QStringLiteral("/usr/bin/convert");

bool Have(const QString& tool)
{
    if (tool.startsWith(QLatin1Char('/')))
        return QFileInfo(tool).isExecutable();
    return std::system(("command -v " + tool.toStdString() + " >/dev/null 2>&1").c_str()) == 0;
}

// The tool's standard output, or nullopt when it fails.
std::optional<QByteArray> RunTool(const QString& tool, const QStringList& arguments)
{
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

struct Rgba {
    uint8_t r, g, b, a;
};

// Pixels as ImageMagick decodes the file, top row first.
std::optional<std::vector<Rgba>> MagickPixels(
    const std::filesystem::path& file, int width, int height)
{
    auto bytes
        = RunTool(kConvert, { QString::fromStdString(file.string()), "-depth", "8", "rgba:-" });
    if (!bytes || bytes->size() != qsizetype(width) * height * 4)
        return std::nullopt;
    std::vector<Rgba> pixels(size_t(width) * size_t(height));
    for (size_t i = 0; i < pixels.size(); ++i) {
        const auto* p = reinterpret_cast<const uint8_t*>(bytes->constData()) + i * 4;
        pixels[i] = { p[0], p[1], p[2], p[3] };
    }
    return pixels;
}

// Pixels as djpeg decodes the file (a binary PPM), opaque.
std::optional<std::vector<Rgba>> DjpegPixels(
    const std::filesystem::path& file, int width, int height)
{
    auto bytes
        = RunTool(QStringLiteral("djpeg"), { "-pnm", QString::fromStdString(file.string()) });
    const QByteArray header = QStringLiteral("P6\n%1 %2\n255\n").arg(width).arg(height).toLatin1();
    if (!bytes || !bytes->startsWith(header)
        || bytes->size() != header.size() + qsizetype(width) * height * 3)
        return std::nullopt;
    std::vector<Rgba> pixels(size_t(width) * size_t(height));
    for (size_t i = 0; i < pixels.size(); ++i) {
        const auto* p
            = reinterpret_cast<const uint8_t*>(bytes->constData()) + header.size() + i * 3;
        pixels[i] = { p[0], p[1], p[2], 255 };
    }
    return pixels;
}

std::vector<Rgba> PicturePixels(const TBitmap& b)
{
    std::vector<Rgba> pixels;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            const TColor c = b.Pixel(x, y);
            pixels.push_back({ vtl::platform::GetRValue(c), vtl::platform::GetGValue(c),
                vtl::platform::GetBValue(c), 255 });
        }
    return pixels;
}

// The largest difference of one colour channel, and the mean over all channels.
struct Difference {
    int largest = 0;
    double mean = 0;
};
Difference Compare(const std::vector<Rgba>& a, const std::vector<Rgba>& b)
{
    Difference d;
    if (a.size() != b.size())
        return { 256, 256 };
    long total = 0;
    for (size_t i = 0; i < a.size(); ++i)
        for (int delta : { a[i].r - b[i].r, a[i].g - b[i].g, a[i].b - b[i].b }) {
            d.largest = std::max(d.largest, std::abs(delta));
            total += std::abs(delta);
        }
    d.mean = a.empty() ? 0 : double(total) / double(a.size() * 3);
    return d;
}

uint32_t U32At(const std::string& bytes, size_t offset)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | uint8_t(bytes.at(offset + size_t(i)));
    return v;
}

// Test pictures 37 pixels wide, so that every format's rows need padding. The colours change
// slowly, so that JPEG keeps them close, and in runs, so that RLE pays.
constexpr int kWidth = 37, kHeight = 23;

TBitmap MakePicture(TPixelFormat format)
{
    TBitmap b(kWidth, kHeight, format);
    std::vector<PaletteEntry> palette;
    switch (format) {
    case TPixelFormat::pf24bit:
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                b.SetPixel(x, y,
                    vtl::platform::Rgb(
                        uint8_t(x * 6), uint8_t(y * 10), uint8_t(200 - x * 2 - y * 2)));
        return b;
    case TPixelFormat::pf8bit:
        for (int i = 0; i < 256; ++i)
            palette.push_back({ uint8_t(i), uint8_t(255 - i), uint8_t(i / 2 + 60), 0 });
        b.SetPalette(palette);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                b.ScanLine(y)[x] = uint8_t((x / 4) * 12 + y * 4);
        return b;
    case TPixelFormat::pf4bit:
        for (int i = 0; i < 16; ++i)
            palette.push_back({ uint8_t(i * 17), uint8_t(i * 12), uint8_t(255 - i * 10), 0 });
        b.SetPalette(palette);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const auto index = uint8_t(x / 10 + y / 3);
                uint8_t& byte = b.ScanLine(y)[x / 2];
                byte = x % 2 ? uint8_t((byte & 0xF0) | index) : uint8_t((byte & 0x0F) | index << 4);
            }
        return b;
    default: // 1 bit: black and white squares of 8
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                b.SetPixel(x, y, (x / 8 + y / 8) % 2 ? vtl::platform::Rgb(255, 255, 255) : 0);
        return b;
    }
}

const char* FormatName(TPixelFormat format)
{
    switch (format) {
    case TPixelFormat::pf1bit:
        return "1bit";
    case TPixelFormat::pf4bit:
        return "4bit";
    case TPixelFormat::pf8bit:
        return "8bit";
    default:
        return "24bit";
    }
}

// The extension the save command gives each kind.
std::string Extension(int filterIndex)
{
    if (filterIndex <= 2)
        return ".bmp";
    return filterIndex == 3 ? ".jpg" : ".png";
}

class SaveReopen : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("VTL_REGISTRY_DIR", QByteArray::fromStdString(m_dir.Path().string()));
        m_form = std::make_unique<TMainForm>(QStringList {});
        m_form->show();
    }
    void TearDown() override
    {
        // Destroyed without closing: documents changed by a test ask nothing.
        m_form.reset();
        qunsetenv("VTL_REGISTRY_DIR");
    }

    TMDIChild* Document(TBitmap picture)
    {
        auto* doc = dynamic_cast<TMDIChild*>(vtl::input::ui::NewDocumentFromBuffer(
            *m_form, std::move(picture), QStringLiteral("test")));
        return doc;
    }

    // Runs the document's save command with the dialog answered by `name` and `filterIndex`.
    void Save(TMDIChild* doc, const std::string& name, int filterIndex)
    {
        m_guard.dialogs->saveAnswers.push_back(QString::fromStdString((m_dir / name).string()));
        m_guard.dialogs->saveFilterIndexes.push_back(filterIndex);
        if (filterIndex == 3)
            m_guard.dialogs->dialogAnswers.push_back(
                [](QDialog&) { return int(QDialog::Accepted); });
        doc->FileSaveAsItemClick();
    }

    // The picture as the program's own loader reads the file.
    std::optional<TBitmap> Reopen(const std::filesystem::path& file)
    {
        auto* doc
            = dynamic_cast<TMDIChild*>(m_form->OpenFile(QString::fromStdString(file.string()), 3));
        if (!doc || doc->Picture().Empty())
            return std::nullopt;
        return doc->Picture();
    }

    TempDir m_dir;
    DialogGuard m_guard;
    std::unique_ptr<TMainForm> m_form;
};

} // namespace

TEST_F(SaveReopen, EveryKindReadsBackInOtherReadersAndOurs)
{
    if (!Have(kConvert) || !Have("djpeg"))
        GTEST_SKIP() << "ImageMagick (/usr/bin/convert) and djpeg are needed";
    const bool pngcheck = Have("pngcheck");
    for (TPixelFormat format : { TPixelFormat::pf24bit, TPixelFormat::pf8bit, TPixelFormat::pf4bit,
             TPixelFormat::pf1bit }) {
        const TBitmap picture = MakePicture(format);
        const std::vector<Rgba> expected = PicturePixels(picture);
        const bool paletted = format == TPixelFormat::pf8bit || format == TPixelFormat::pf4bit;
        for (int index = 1; index <= 7; ++index) {
            const std::string base = std::string(FormatName(format)) + "-" + std::to_string(index);
            SCOPED_TRACE(base);
            TMDIChild* doc = Document(picture);
            if (index == 2 && !paletted)
                m_guard.dialogs->messageAnswers.push_back(MsgResult::Ok);
            // Offered as ".bmp" each time: the kind decides the extension.
            Save(doc, base + ".bmp", index);
            const std::filesystem::path file = m_dir / (base + Extension(index));
            if (format == TPixelFormat::pf24bit && index == 1) {
                // The dialog's seven kinds, in the order of the filter indexes used here.
                const QStringList kinds
                    = vtl::platform::qt::QtFilter(m_guard.dialogs->fileDialogs.back().filter)
                          .split(QStringLiteral(";;"));
                ASSERT_EQ(kinds.size(), 7);
                EXPECT_EQ(kinds[1], U("Bitmap ファイル（RLE圧縮） (*.bmp)"));
                EXPECT_EQ(kinds[2], U("Jpeg ファイル (*.jpg *.jpeg)"));
                EXPECT_EQ(kinds[6], U("png ファイル(インターレース+左下透明） (*.png)"));
            }
            if (index == 2 && !paletted) {
                ASSERT_FALSE(m_guard.dialogs->messages.empty());
                EXPECT_EQ(
                    m_guard.dialogs->messages.back().text, U("16色または256色のみ圧縮できます。"));
                EXPECT_FALSE(std::filesystem::exists(file));
                // Refused: the document keeps its name, caption and change.
                EXPECT_EQ(doc->ModifiedCount(), 1);
                EXPECT_EQ(doc->FileName(), QStringLiteral("test"));
                EXPECT_EQ(doc->windowTitle(), QStringLiteral("test"));
                m_guard.dialogs->messages.clear();
                continue;
            }
            ASSERT_TRUE(std::filesystem::exists(file));
            EXPECT_EQ(doc->ModifiedCount(), 0);
            EXPECT_EQ(doc->FileName(), QString::fromStdString(file.string()));
            const std::string bytes = vtl::testing::ReadFile(file);

            if (index == 3) {
                auto decoded = DjpegPixels(file, kWidth, kHeight);
                ASSERT_TRUE(decoded) << "djpeg can't read the file";
                const Difference d = Compare(*decoded, expected);
                EXPECT_LT(d.mean, 4.0);
                EXPECT_LT(d.largest, 32);
                // Our decoder agrees with djpeg (the same library may round alike, but needn't).
                auto ours = Reopen(file);
                ASSERT_TRUE(ours);
                EXPECT_LE(Compare(PicturePixels(*ours), *decoded).largest, 2);
                continue;
            }

            if (index <= 2) {
                // The header: the picture's own bit count; RLE8 or RLE4 when compressed.
                ASSERT_GE(bytes.size(), 54u);
                EXPECT_EQ(bytes.substr(0, 2), "BM");
                EXPECT_EQ(U32At(bytes, 28) & 0xFFFF, uint32_t(picture.BitsPerPixel()));
                uint32_t compression = 0; // BI_RGB
                if (index == 2)
                    compression = format == TPixelFormat::pf8bit ? 1 : 2; // BI_RLE8, BI_RLE4
                EXPECT_EQ(U32At(bytes, 30), compression);
            } else {
                // IHDR: interlace method 1 for 5 and 7; a tRNS chunk for 6 and 7.
                ASSERT_GE(bytes.size(), 33u);
                EXPECT_EQ(bytes.substr(12, 4), "IHDR");
                EXPECT_EQ(int(bytes[28]), index == 5 || index == 7 ? 1 : 0);
                EXPECT_EQ(bytes.find("tRNS") != std::string::npos, index >= 6);
                if (pngcheck) {
                    EXPECT_TRUE(RunTool(QStringLiteral("pngcheck"),
                        { "-q", QString::fromStdString(file.string()) }))
                        << "pngcheck refuses the file";
                }
            }

            auto read = MagickPixels(file, kWidth, kHeight);
            ASSERT_TRUE(read) << "ImageMagick can't read the file";
            EXPECT_EQ(Compare(*read, expected).largest, 0);
            // The bottom-left colour, and only it, is transparent.
            const Rgba corner = expected[size_t(kHeight - 1) * kWidth];
            int wrongAlpha = 0;
            for (size_t i = 0; i < expected.size(); ++i) {
                const bool same = expected[i].r == corner.r && expected[i].g == corner.g
                    && expected[i].b == corner.b;
                wrongAlpha += (*read)[i].a != (index >= 6 && same ? 0 : 255);
            }
            EXPECT_EQ(wrongAlpha, 0);

            auto ours = Reopen(file);
            ASSERT_TRUE(ours) << "our loader can't read the file";
            EXPECT_EQ(ours->Width(), kWidth);
            EXPECT_EQ(Compare(PicturePixels(*ours), expected).largest, 0);
        }
    }
}

TEST_F(SaveReopen, RleThatWouldGrowIsSavedPlainAndStillReads)
{
    if (!Have(kConvert))
        GTEST_SKIP() << "ImageMagick (/usr/bin/convert) is needed";
    // No two neighbours alike: every pixel would cost RLE8 more than it saves.
    TBitmap noise(kWidth, kHeight, TPixelFormat::pf8bit);
    std::vector<PaletteEntry> grey;
    for (int i = 0; i < 256; ++i)
        grey.push_back({ uint8_t(i), uint8_t(i), uint8_t(i), 0 });
    noise.SetPalette(grey);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            noise.ScanLine(y)[x] = uint8_t((x * 97 + y * 31 + (x * y) % 7) * 13);
    TMDIChild* doc = Document(noise);
    m_guard.dialogs->messageAnswers.push_back(MsgResult::Ok);
    Save(doc, "noise.bmp", 2);
    ASSERT_EQ(m_guard.dialogs->messages.size(), 1u);
    EXPECT_EQ(m_guard.dialogs->messages[0].text,
        U("noise.bmp は圧縮するとサイズが大きくなるので非圧縮で保存します。"));
    EXPECT_EQ(doc->ModifiedCount(), 0);
    const std::string bytes = vtl::testing::ReadFile(m_dir / "noise.bmp");
    ASSERT_GE(bytes.size(), 54u);
    EXPECT_EQ(U32At(bytes, 30), 0u); // BI_RGB
    auto read = MagickPixels(m_dir / "noise.bmp", kWidth, kHeight);
    ASSERT_TRUE(read);
    EXPECT_EQ(Compare(*read, PicturePixels(noise)).largest, 0);
}
