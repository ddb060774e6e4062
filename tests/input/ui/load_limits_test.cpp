// Opening pictures from the window under the limits: Esc stops a load and leaves no document, and
// a picture over the memory budget is refused with the size it needs, with no window made.

#include "codecs/jpeg_encoder.h"
#include "codecs/png_image.h"
#include "platform/registry.h"
#include "support/document_fixture.h"
#include "support/hostile_pictures.h"

#include <QKeyEvent>
#include <QMdiArea>

namespace vtl::testing {
namespace {

    class LoadLimitsTest : public CommandTest {
    protected:
        size_t Windows() { return m_form->MdiArea()->subWindowList().size(); }
        // Esc pressed just before the load starts, as a user does once the status shows " Read".
        void PressEscape()
        {
            QCoreApplication::postEvent(
                m_form.get(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
        }
        QMdiSubWindow* Open(const std::filesystem::path& file)
        {
            return input::ui::OpenFile(*m_form, QString::fromStdString(file.string()), 3);
        }
    };

    TEST_F(LoadLimitsTest, EscapeStopsALoadAndLeavesNoDocument)
    {
        MakeForm();
        codecs::TPngImage png;
        png.Assign(Pattern(300, 200));
        png.SaveToFile(m_dir / "p.png");
        platform::TBitmap photo = Pattern(320, 240);
        const auto jpeg = codecs::EncodeJpeg(photo, 80);
        WriteFile(m_dir / "p.jpg", std::string(jpeg.begin(), jpeg.end()));

        for (const char* name : { "p.png", "p.jpg" }) {
            PressEscape();
            EXPECT_EQ(Open(m_dir / name), nullptr) << name;
            EXPECT_EQ(Windows(), 0u) << name;
            EXPECT_TRUE(m_guard.dialogs->messages.empty()) << name;
            EXPECT_TRUE(m_form->StatusText().isEmpty()) << name;
        }
        // Without Esc the same files open, and the program is as it was.
        ASSERT_NE(Open(m_dir / "p.png"), nullptr);
        ASSERT_NE(Open(m_dir / "p.jpg"), nullptr);
        EXPECT_EQ(Windows(), 2u);
        EXPECT_TRUE(m_guard.dialogs->messages.empty());
    }

    TEST_F(LoadLimitsTest, PicturesOverTheBudgetAreRefusedWithTheSizeTheyNeed)
    {
        platform::Registry registry(m_dir.Path());
        registry.WriteString(platform::RegistryRoot::CurrentUser, "software\\Tamsol\\vtl\\Limits", "MemoryMB", "200");
        registry.Flush();
        MakeForm();
        const std::pair<const char*, hostile::Bytes> files[] = {
            { "huge.png", hostile::HugePng(20000, 20000) },
            { "huge.jpg", hostile::HugeJpeg(30000, 30000) },
            { "huge.bmp", hostile::RleBmp(8, 40000, 40000) },
        };
        for (const auto& [name, bytes] : files) {
            WriteFile(m_dir / name, std::string(bytes.begin(), bytes.end()));
            m_guard.dialogs->messages.clear();
            m_guard.dialogs->messageAnswers.push_back(platform::qt::MsgResult::Ok);
            EXPECT_EQ(Open(m_dir / name), nullptr) << name;
            EXPECT_EQ(Windows(), 0u) << name;
            ASSERT_EQ(m_guard.dialogs->messages.size(), 1u) << name;
            EXPECT_TRUE(m_guard.dialogs->messages[0].text.endsWith(QStringLiteral("上限は 200 MB です。")))
                << m_guard.dialogs->messages[0].text.toStdString();
        }
        // A picture within the budget, from a file as small, opens.
        const hostile::Bytes fits = hostile::RleBmp(4, 4000, 3000);
        WriteFile(m_dir / "fits.bmp", std::string(fits.begin(), fits.end()));
        ASSERT_NE(Open(m_dir / "fits.bmp"), nullptr);
        EXPECT_EQ(Windows(), 1u);
    }

} // namespace
} // namespace vtl::testing
