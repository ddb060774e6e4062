// Phone photos opened as a user opens them, with "開く(&O)": the document shows the picture
// upright (every orientation), as stored when the setting is off, and saving it writes upright
// pixels without an orientation tag that would turn it again.

#include "codecs/photo_tags.h"
#include "support/document_fixture.h"
#include "support/photo_pictures.h"

#include <QMdiArea>

namespace vtl::testing {
namespace {

    class PhotoDocumentTest : public CommandTest {
    protected:
        void SetUp() override
        {
            CommandTest::SetUp();
            if (!HavePhotoTools())
                GTEST_SKIP() << "exiftool or ImageMagick is not installed";
            MakeForm();
        }
        // 開く(&O) with `file` chosen in the dialog; the document it made.
        TMDIChild* OpenFromMenu(const std::filesystem::path& file)
        {
            m_guard.dialogs->openAnswers.push_back(
                QStringList { QString::fromStdString(file.string()) });
            m_form->Item("FileOpenItem")->trigger();
            QCoreApplication::processEvents();
            return qobject_cast<TMDIChild*>(m_form->MdiArea()->activeSubWindow());
        }
        const TBitmap m_source = BlockPicture();
    };

    TEST_F(PhotoDocumentTest, EveryOrientationOpensUprightAndAsStoredWhenTurnedOff)
    {
        for (int orientation = 1; orientation <= 8; ++orientation) {
            const auto file = m_dir / ("photo" + std::to_string(orientation) + ".jpg");
            ASSERT_TRUE(WriteOrientedJpeg(m_source, file, orientation));
            m_form->AppSettings().photoUpright = true;
            TMDIChild* upright = OpenFromMenu(file);
            ASSERT_NE(upright, nullptr) << orientation;
            EXPECT_LE(MaxDifference(upright->Picture(), Oriented(m_source, orientation)), 3)
                << orientation;

            m_form->AppSettings().photoUpright = false;
            TMDIChild* stored = OpenFromMenu(file);
            ASSERT_NE(stored, nullptr) << orientation;
            ASSERT_NE(stored, upright);
            EXPECT_LE(MaxDifference(stored->Picture(), m_source), 3) << orientation;
        }
        EXPECT_TRUE(m_guard.dialogs->messages.empty());
    }

    TEST_F(PhotoDocumentTest, SavedDocumentHoldsUprightPixelsAndNoOrientation)
    {
        const auto file = m_dir / "photo.jpg";
        ASSERT_TRUE(WriteOrientedJpeg(m_source, file, 6));
        TMDIChild* doc = OpenFromMenu(file);
        ASSERT_NE(doc, nullptr);
        // 名前を付けて保存 as JPEG (the quality dialog accepted as it stands).
        const auto saved = m_dir / "saved.jpg";
        m_guard.dialogs->saveAnswers.push_back(QString::fromStdString(saved.string()));
        m_guard.dialogs->saveFilterIndexes.push_back(3);
        m_guard.dialogs->dialogAnswers.push_back([](QDialog&) { return int(QDialog::Accepted); });
        doc->FileSaveAsItemClick();
        ASSERT_TRUE(std::filesystem::exists(saved));
        EXPECT_EQ(codecs::ReadPhotoTags(saved).orientation, 1);
        EXPECT_FALSE(Shell("exiftool -q -q -if '$Orientation' -Orientation " + Quoted(saved)));
        // Opened again, it is neither turned a second time nor left on its side.
        TMDIChild* again = OpenFromMenu(saved);
        ASSERT_NE(again, nullptr);
        EXPECT_LE(MaxBlockCentreDifference(again->Picture(), Oriented(m_source, 6)), 12);
    }

} // namespace
} // namespace vtl::testing
