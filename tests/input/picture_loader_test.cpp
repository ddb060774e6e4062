// Decoding through picture plug-ins and from memory: every outcome of the plug-in calls, the size
// limit, progress texts, the reduction for palette displays and the JPEG thumbnail scale.

#include "codecs/jpeg_encoder.h"
#include "input/picture_loader.h"
#include "plugin_fixture.h"

#include <gmock/gmock.h>

namespace vtl::input {
namespace {

    using namespace testing;
    using ::testing::Contains;
    using ::testing::ElementsAre;

    std::string PicLine(const std::string& path, const std::string& patterns = "*.tp1")
    {
        return "f," + patterns + ",\"Test\",\"" + path + "\"";
    }

    class LoaderTest : public testing::PluginTest {
    protected:
        DecodeContext Context()
        {
            DecodeContext context;
            context.status = [this](const std::string& text) { m_status.push_back(text); };
            return context;
        }
        std::vector<std::string> m_status;
    };

    TEST_F(LoaderTest, DecoderIsChosenByName)
    {
        auto registry = MakeRegistry({ PicLine("tpic.spi") });
        EXPECT_EQ(ChooseDecoder(registry, "a/photo.JPEG"), DecoderChoice::Jpeg);
        EXPECT_EQ(ChooseDecoder(registry, "photo.jpg"), DecoderChoice::Jpeg);
        EXPECT_EQ(ChooseDecoder(registry, "photo.jpe"), DecoderChoice::Plugin);
        EXPECT_EQ(ChooseDecoder(registry, "x.BMP"), DecoderChoice::Bmp);
        EXPECT_EQ(ChooseDecoder(registry, "x.png"), DecoderChoice::Png);
        EXPECT_EQ(ChooseDecoder(registry, "x.snx"), DecoderChoice::ThumbCache);
        EXPECT_EQ(ChooseDecoder(registry, "x.tp1"), DecoderChoice::Plugin);
    }

    // Esc during a plug-in's load: the plug-in is told to stop through its progress callback, and
    // the load ends with the cancellation rather than a failure to report.
    TEST_F(LoaderTest, CancellingStopsThePluginAndReportsNothing)
    {
        auto registry = MakeRegistry({ PicLine("tpic.spi") });
        auto file = File("a.tp1", SmallPicture(kProgress));
        document::TDIB dib;
        DecodeContext context = Context();
        int asked = 0;
        context.cancelled = [&asked] { return ++asked > 0; };
        EXPECT_THROW(OpenFileByPlugin(registry, file, dib, context), platform::ELoadCancelled);
        EXPECT_GE(asked, 1);
        EXPECT_EQ(dib.Width(), document::TDIB().Width()); // the picture is untouched
        EXPECT_EQ(m_status.back(), ""); // the status panel is cleared
        EXPECT_EQ(PluginLibrary::OpenCount(), 0);
        // The next load is not cancelled by what the last one left.
        context.cancelled = {};
        EXPECT_EQ(OpenFileByPlugin(registry, file, dib, context).outcome, PluginOpenOutcome::Picture);
    }

    TEST_F(LoaderTest, FileOpensThroughThePlugin)
    {
        auto registry = MakeRegistry({ PicLine("tpic.spi") });
        auto file = File("a.tp1", SmallPicture(kProgress));
        document::TDIB dib;
        auto result = OpenFileByPlugin(registry, file, dib, Context());
        ASSERT_EQ(result.outcome, PluginOpenOutcome::Picture);
        EXPECT_EQ(dib.Width(), 2);
        EXPECT_EQ(dib.BitCount(), 24);
        EXPECT_EQ(dib.ScanLine(0)[2], 255); // red at the top left
        EXPECT_THAT(Calls(),
            ElementsAre(
                "tpic:IsSupported", "tpic:GetPictureInfo(file)", "tpic:GetPicture(progress)"));
        EXPECT_THAT(m_status, Contains(" Read 50%"));
        EXPECT_EQ(m_status.back(), "");
        EXPECT_EQ(PluginLibrary::OpenCount(), 0);
    }

    TEST_F(LoaderTest, EveryFailureEndsTheRequest)
    {
        struct Case {
            const char* what;
            std::string plugin;
            Bytes data;
            PluginOpenOutcome outcome;
            std::string message;
        };
        std::vector<Case> cases {
            { "declines", "tpic_decline.spi", SmallPicture(), PluginOpenOutcome::Stopped, "" },
            { "info fails", "tpic.spi", SmallPicture(kInfoFails), PluginOpenOutcome::Stopped, "" },
            { "6000 x 5000", "tpic.spi",
                TestPicture(InfoHeader(2, 2, 24), Bytes(16), 0, 6000, 5000),
                PluginOpenOutcome::Stopped, "" },
            { "no GetPicture", "tpic_nopicture.spi", SmallPicture(), PluginOpenOutcome::Failed,
                "tpic_nopicture.spi がおかしい。" },
            { "GetPicture fails", "tpic.spi", SmallPicture(kPictureFails),
                PluginOpenOutcome::Failed, "読み込みに失敗しました。" },
            { "bad output", "tpic.spi", TestPicture(InfoHeader(64, 64, 24), Bytes(16)),
                PluginOpenOutcome::Failed, "Plug-in picture: pixel data beyond the pixel block" },
            { "not a plug-in name", "tpic.spi", SmallPicture(), PluginOpenOutcome::NoPlugin, "" },
        };
        for (const auto& c : cases) {
            auto registry = MakeRegistry({ PicLine(c.plugin) });
            auto file
                = File(c.outcome == PluginOpenOutcome::NoPlugin ? "a.other" : "a.tp1", c.data);
            document::TDIB dib;
            dib.SetWidth(5);
            auto result = OpenFileByPlugin(registry, file, dib, Context());
            EXPECT_EQ(result.outcome, c.outcome) << c.what;
            EXPECT_EQ(result.message, c.message) << c.what;
            EXPECT_EQ(dib.Width(), 5) << c.what;
            // Only a missing GetPicture marks the plug-in.
            EXPECT_EQ(registry.Failed(PluginKind::Picture, 0), c.plugin == "tpic_nopicture.spi")
                << c.what;
        }
        // The refused size never reached GetPicture.
        auto registry = MakeRegistry({ PicLine("tpic.spi") });
        Calls();
        document::TDIB dib;
        OpenFileByPlugin(registry,
            File("big.tp1", TestPicture(InfoHeader(2, 2, 24), Bytes(16), 0, 6000, 5000)), dib,
            Context());
        EXPECT_THAT(Calls(), ElementsAre("tpic:IsSupported", "tpic:GetPictureInfo(file)"));
    }

    TEST_F(LoaderTest, DeclineDoesNotTryTheNextPlugin)
    {
        auto registry = MakeRegistry({ PicLine("tpic_decline.spi"), PicLine("tpic.spi") });
        document::TDIB dib;
        auto result = OpenFileByPlugin(registry, File("a.tp1", SmallPicture()), dib, Context());
        EXPECT_EQ(result.outcome, PluginOpenOutcome::Stopped);
        EXPECT_THAT(Calls(), ElementsAre("tpic_decline:IsSupported"));
    }

    TEST_F(LoaderTest, GetPictureInfoIsOptional)
    {
        auto registry = MakeRegistry({ PicLine("tpic_noinfo.spi") });
        document::TDIB dib;
        EXPECT_EQ(OpenFileByPlugin(registry, File("a.tp1", SmallPicture()), dib, Context()).outcome,
            PluginOpenOutcome::Picture);
    }

    TEST_F(LoaderTest, PaletteDisplaysGetEightBits)
    {
        auto registry = MakeRegistry({ PicLine("tpic.spi") });
        DecodeContext context = Context();
        context.paletteDisplay = true;
        document::TDIB dib;
        ASSERT_EQ(OpenFileByPlugin(registry, File("a.tp1", SmallPicture()), dib, context).outcome,
            PluginOpenOutcome::Picture);
        EXPECT_EQ(dib.PixelFormat(), document::DibPixelFormat::Dib8Bit);
        EXPECT_THAT(m_status, Contains("減色中..."));

        // The thumbnail browser can ask for no reduction.
        platform::TBitmap bitmap;
        EXPECT_TRUE(DecodeFileByPlugin(registry, bitmap, m_dir / "a.tp1", true, context));
        EXPECT_EQ(bitmap.PixelFormat(), platform::TPixelFormat::pf24bit);
        EXPECT_TRUE(DecodeFileByPlugin(registry, bitmap, m_dir / "a.tp1", false, context));
        EXPECT_EQ(bitmap.PixelFormat(), platform::TPixelFormat::pf8bit);
    }

    TEST_F(LoaderTest, ThumbnailDecodeOfPluginFiles)
    {
        auto registry = MakeRegistry({ PicLine("tpic.spi"), PicLine("tpic_decline.spi", "*.dd") });
        platform::TBitmap bitmap(3, 3);
        // Nothing claims it: true, bitmap untouched.
        EXPECT_TRUE(
            DecodeFileByPlugin(registry, bitmap, File("a.zz", SmallPicture()), false, Context()));
        EXPECT_EQ(bitmap.Width(), 3);
        EXPECT_FALSE(
            DecodeFileByPlugin(registry, bitmap, File("a.dd", SmallPicture()), false, Context()));
        EXPECT_FALSE(DecodeFileByPlugin(
            registry, bitmap, File("b.tp1", SmallPicture(kPictureFails)), false, Context()));
        EXPECT_EQ(bitmap.Width(), 3);
        EXPECT_TRUE(
            DecodeFileByPlugin(registry, bitmap, File("c.tp1", SmallPicture()), false, Context()));
        EXPECT_EQ(bitmap.Width(), 2);
        EXPECT_EQ(m_status.back(), "");
    }

    TEST_F(LoaderTest, MemoryDecodeOutcomes)
    {
        auto registry = MakeRegistry({ PicLine("tpic.spi"), PicLine("missing.spi", "*.gone"),
            PicLine("tpic_decline.spi", "*.dd") });
        document::TDIB dib;
        Bytes picture = SmallPicture();
        EXPECT_EQ(DecodeFromMemory(registry, dib, picture, "a.txt", true, Context()),
            MemoryDecode::Failed);
        EXPECT_EQ(DecodeFromMemory(registry, dib, picture, "a.snx", true, Context()),
            MemoryDecode::Failed);
        EXPECT_EQ(DecodeFromMemory(registry, dib, picture, "a.gone", true, Context()),
            MemoryDecode::Unclaimed);
        EXPECT_EQ(DecodeFromMemory(registry, dib, picture, "a.dd", true, Context()),
            MemoryDecode::Failed);
        EXPECT_EQ(DecodeFromMemory(registry, dib, Bytes { 1, 2 }, "a.bmp", true, Context()),
            MemoryDecode::Failed);
        EXPECT_EQ(DecodeFromMemory(registry, dib, Bytes { 1, 2 }, "a.png", true, Context()),
            MemoryDecode::Failed);
        EXPECT_EQ(DecodeFromMemory(registry, dib, Bytes { 1, 2 }, "a.jpg", false, Context()),
            MemoryDecode::Failed);
        Calls();
        ASSERT_EQ(DecodeFromMemory(registry, dib, picture, "dir/a.TP1", false, Context()),
            MemoryDecode::Picture);
        EXPECT_EQ(dib.Width(), 2);
        // No progress callback for thumbnails.
        EXPECT_THAT(Calls(),
            ElementsAre("tpic:IsSupported", "tpic:GetPictureInfo(memory)", "tpic:GetPicture"));

        // A BMP made by the image buffer comes back as it was.
        document::TDIB original;
        original.SetWidth(9);
        auto bmp = original.SaveToBytes();
        ASSERT_EQ(
            DecodeFromMemory(registry, dib, bmp, "x.bmp", true, Context()), MemoryDecode::Picture);
        EXPECT_EQ(dib.Width(), 9);
    }

    TEST_F(LoaderTest, ThumbnailJpegsAreDecodedAtTheSmallestFittingScale)
    {
        auto registry = MakeRegistry({});
        struct Case {
            int width, height;
            bool full;
            int expectWidth;
        };
        // Cell 64 x 48: 640 x 480 at 1/8 is 80 x 60, not below the cell, so 1/8 stays.
        // 300 x 200 at 1/8 is 38 x 25, below the cell but not below half of it: 1/4.
        // 100 x 80 at 1/8 is 13 x 10, below a quarter of the cell: full size.
        for (auto [w, h, full, expect] : std::vector<Case> { { 640, 480, false, 80 },
                 { 300, 200, false, 75 }, { 100, 80, false, 100 }, { 640, 480, true, 640 } }) {
            platform::TBitmap source(w, h);
            auto jpeg = codecs::EncodeJpeg(source, 75);
            document::TDIB dib;
            ASSERT_EQ(DecodeFromMemory(registry, dib, jpeg, "p.jpg", full, Context()),
                MemoryDecode::Picture);
            EXPECT_EQ(dib.Width(), expect) << w << "x" << h;
        }
    }

    TEST_F(LoaderTest, OpenPictureFileDispatches)
    {
        auto registry = MakeRegistry({ PicLine("tpic.spi") });
        platform::TBitmap bitmap;
        EXPECT_EQ(
            OpenPictureFile(registry, File("a.tp1", SmallPicture()), bitmap, Context()).outcome,
            FileOpenOutcome::Picture);
        EXPECT_EQ(bitmap.Width(), 2);
        EXPECT_EQ(OpenPictureFile(registry, m_dir / "x.snx", bitmap, Context()).outcome,
            FileOpenOutcome::ThumbCache);
        EXPECT_EQ(
            OpenPictureFile(registry, File("x.zzz", SmallPicture()), bitmap, Context()).outcome,
            FileOpenOutcome::NoPlugin);
        auto failed = OpenPictureFile(
            registry, File("b.tp1", SmallPicture(kPictureFails)), bitmap, Context());
        EXPECT_EQ(failed.outcome, FileOpenOutcome::Failed);
        EXPECT_EQ(failed.message, kReadFailedMessage);
        // Built-in decoders throw for the general error report.
        EXPECT_ANY_THROW(
            OpenPictureFile(registry, File("bad.png", { 1, 2, 3 }), bitmap, Context()));
        EXPECT_EQ(bitmap.Width(), 2);
    }

} // namespace
} // namespace vtl::input
