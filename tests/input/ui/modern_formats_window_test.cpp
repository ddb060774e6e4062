// HEIF, AVIF and JPEG XL pictures opened as a user opens them, with "開く(&O)": the open dialog
// offers the new extensions, each file becomes a document showing its picture, and a damaged
// file gets the usual message and no window.

#include "codecs/png_image.h"
#include "support/document_fixture.h"
#include "support/photo_pictures.h"

#include <QMdiArea>

namespace vtl::testing {
namespace {

    bool HaveEncoders()
    {
        for (const char* tool : { "heif-enc", "avifenc", "cjxl" })
            if (!std::filesystem::exists(std::filesystem::path("/usr/bin") / tool))
                return false;
        return true;
    }

    class ModernFormatsWindowTest : public CommandTest {
    protected:
        QList<TMDIChild*> Documents() const
        {
            QList<TMDIChild*> documents;
            for (QMdiSubWindow* sub : m_form->MdiArea()->subWindowList())
                if (auto* child = qobject_cast<TMDIChild*>(sub))
                    documents.push_back(child);
            return documents;
        }
        // 開く(&O) with `files` chosen in the dialog.
        void OpenFromMenu(const QStringList& files)
        {
            m_guard.dialogs->openAnswers.push_back(files);
            m_form->Item("FileOpenItem")->trigger();
            QCoreApplication::processEvents();
        }
        QString Path(const char* name) const
        {
            return QString::fromStdString((m_dir / name).string());
        }
    };

    TEST_F(ModernFormatsWindowTest, NewFormatsOpenFromTheMenuAndDamagedFilesAreRefused)
    {
        const auto plugins = std::filesystem::path(VTL_BINARY_DIR) / "plugins";
        if (!std::filesystem::exists(plugins / "vtlheif.spi")
            || !std::filesystem::exists(plugins / "vtljxl.spi"))
            GTEST_SKIP() << "the program's own plug-ins were not built";
        if (!HaveEncoders())
            GTEST_SKIP() << "heif-enc, avifenc or cjxl not installed";
        const TBitmap picture = Pattern(45, 31);
        codecs::TPngImage png;
        png.Assign(picture);
        png.SaveToFile(m_dir / "source.png");
        const std::string source = Quoted(m_dir / "source.png");
        ASSERT_TRUE(Shell("heif-enc -q 90 " + source + " -o " + Quoted(m_dir / "a.heic")));
        ASSERT_TRUE(Shell("avifenc " + source + " " + Quoted(m_dir / "b.avif")));
        ASSERT_TRUE(Shell("cjxl -d 0 " + source + " " + Quoted(m_dir / "c.jxl")));

        // A new user: the program's own plug-ins are registered at its first start.
        MakeForm();
        OpenFromMenu({ Path("a.heic"), Path("b.avif"), Path("c.jxl") });
        ASSERT_FALSE(m_guard.dialogs->fileDialogs.empty());
        for (const char* pattern : { "*.heic", "*.heif", "*.avif", "*.jxl" })
            EXPECT_TRUE(m_guard.dialogs->fileDialogs.back().filter.contains(pattern)) << pattern;
        EXPECT_TRUE(m_guard.dialogs->messages.empty());
        const QList<TMDIChild*> documents = Documents();
        ASSERT_EQ(documents.size(), 3);
        for (TMDIChild* doc : documents) {
            EXPECT_EQ(doc->Picture().Width(), 45);
            EXPECT_EQ(doc->Picture().Height(), 31);
        }
        // The lossless JPEG XL file is the very picture.
        auto jxl = std::find_if(documents.begin(), documents.end(),
            [](TMDIChild* doc) { return doc->windowTitle().contains("c.jxl"); });
        ASSERT_NE(jxl, documents.end());
        EXPECT_TRUE(SamePixels((*jxl)->Picture(), picture));

        // A file whose boxes claim 5000 x 5000 over a small picture: the usual message, no window.
        std::string lying = ReadFile(m_dir / "a.heic");
        for (size_t at = lying.find("ispe"); at != std::string::npos;
             at = lying.find("ispe", at + 4))
            for (size_t i = 0; i < 8; ++i)
                lying[at + 8 + i] = "\x00\x00\x13\x88\x00\x00\x13\x88"[i];
        WriteFile(m_dir / "lying.heic", lying);
        m_guard.dialogs->messageAnswers.push_back(platform::qt::MsgResult::Ok);
        OpenFromMenu({ Path("lying.heic") });
        ASSERT_EQ(m_guard.dialogs->messages.size(), 1u);
        EXPECT_EQ(m_guard.dialogs->messages[0].text, QStringLiteral("読み込みに失敗しました。"));
        EXPECT_EQ(Documents().size(), 3);
    }

} // namespace
} // namespace vtl::testing
