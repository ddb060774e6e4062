// Large PNG files opened from the window, where the reader unfilters on a second thread: the
// document shows what one thread decodes, Esc during the load leaves no document, and damaged data
// gives the same message on one thread or two.

#include "codecs/png_image.h"
#include "codecs/png_test_builder.h"
#include "support/document_fixture.h"

#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <cstdlib>
#include <optional>
#include <random>
#include <string>

namespace vtl::testing {
namespace {

    constexpr uint32_t kWidth = 640;
    constexpr uint32_t kHeight = 480; // well above the size that starts a second thread

    // Rows of random RGB samples behind random filter types.
    std::vector<uint8_t> RandomRows()
    {
        std::mt19937 random(17);
        std::vector<uint8_t> raw;
        for (uint32_t y = 0; y < kHeight; ++y) {
            raw.push_back(uint8_t(random() % 5));
            for (uint32_t i = 0; i < 3 * kWidth; ++i)
                raw.push_back(uint8_t(random()));
        }
        return raw;
    }

    class PngOpenWindowTest : public CommandTest {
    protected:
        void SetUp() override
        {
            CommandTest::SetUp();
            const char* old = std::getenv("VTL_THREADS");
            m_oldThreads = old ? std::optional<std::string>(old) : std::nullopt;
            setenv("VTL_THREADS", "2", 1); // two threads even where the machine has one core
        }
        void TearDown() override
        {
            if (m_oldThreads)
                setenv("VTL_THREADS", m_oldThreads->c_str(), 1);
            else
                unsetenv("VTL_THREADS");
            CommandTest::TearDown();
        }
        QMdiSubWindow* Open(const std::filesystem::path& file)
        {
            return input::ui::OpenFile(*m_form, QString::fromStdString(file.string()), 3);
        }
        size_t Windows() { return m_form->MdiArea()->subWindowList().size(); }
        std::filesystem::path Write(const char* name, const std::vector<uint8_t>& bytes)
        {
            WriteFile(m_dir / name, std::string(bytes.begin(), bytes.end()));
            return m_dir / name;
        }
        std::optional<std::string> m_oldThreads;
    };

    TEST_F(PngOpenWindowTest, TheDocumentShowsWhatOneThreadDecodes)
    {
        const auto raw = RandomRows();
        const auto file = Write(
            "big.png", PngBuilder().Header(kWidth, kHeight, 8, 2).Image(raw, 8192).End().Bytes());
        codecs::TPngImage alone;
        alone.ReadOptions.threads = 1;
        alone.LoadFromFile(file);

        MakeForm();
        QMdiSubWindow* window = Open(file);
        ASSERT_NE(window, nullptr);
        auto* doc = dynamic_cast<TMDIChild*>(window); // the child is its own sub-window
        ASSERT_NE(doc, nullptr);
        EXPECT_TRUE(SamePixels(doc->Picture(), alone.Bitmap()));
        EXPECT_TRUE(m_guard.dialogs->messages.empty());
        EXPECT_TRUE(m_form->StatusText().isEmpty());
    }

    TEST_F(PngOpenWindowTest, EscapeDuringATwoThreadLoadLeavesNoDocument)
    {
        const auto file = Write("big.png",
            PngBuilder().Header(kWidth, kHeight, 8, 2).Image(RandomRows()).End().Bytes());
        MakeForm();
        QCoreApplication::postEvent(
            m_form.get(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
        EXPECT_EQ(Open(file), nullptr);
        EXPECT_EQ(Windows(), 0u);
        EXPECT_TRUE(m_guard.dialogs->messages.empty());
        EXPECT_TRUE(m_form->StatusText().isEmpty());
        ASSERT_NE(Open(file), nullptr); // and it opens once nobody presses Esc
    }

    TEST_F(PngOpenWindowTest, DamagedDataGivesTheSameMessageOnOneThreadOrTwo)
    {
        const auto z = PngBuilder::Compress(RandomRows());
        const auto file = Write("cut.png",
            PngBuilder()
                .Header(kWidth, kHeight, 8, 2)
                .Chunk("IDAT", std::span(z).first(z.size() * 2 / 3))
                .End()
                .Bytes());
        MakeForm();
        for (const char* threads : { "2", "1" }) {
            SCOPED_TRACE(threads);
            setenv("VTL_THREADS", threads, 1);
            m_guard.dialogs->messages.clear();
            m_guard.dialogs->messageAnswers.push_back(platform::qt::MsgResult::Ok);
            Open(file);
            ASSERT_EQ(m_guard.dialogs->messages.size(), 1u);
            EXPECT_EQ(m_guard.dialogs->messages[0].text, "Read Image (PNG): Read Error");
            EXPECT_TRUE(m_form->StatusText().isEmpty());
        }
    }

} // namespace
} // namespace vtl::testing
