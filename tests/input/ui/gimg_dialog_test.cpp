#include "app/ui/main_form.h"
#include "input/sane_test_device.h"
#include "input/ui/gimg_dialog.h"
#include "input/ui/twain_commands.h"
#include "platform/atomic_file.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"
#include "support/window_answers.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QPushButton>
#include <QToolButton>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using vtl::app::ui::TMainForm;
using vtl::input::ui::TGImgDlg;
using vtl::testing::DialogGuard;
using vtl::testing::TempDir;

namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

class GImgDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("VTL_REGISTRY_DIR", QByteArray::fromStdString(m_dir.Path().string()));
        m_form = std::make_unique<TMainForm>(QStringList {});
    }
    void TearDown() override
    {
        m_form.reset();
        qunsetenv("VTL_REGISTRY_DIR");
        qunsetenv("VTL_TWAIN_DSM");
        vtl::input::ui::SetFolderChooser({});
    }
    // SANE's test device behind the program's own manager; false when the manager wasn't built.
    bool UseSaneTestDevice() { return m_device.Use("mode Color\ndepth 8\nresolution 25.0"); }
    // イメージの取得, answering the source's window with 取り込み.
    void Scan()
    {
        vtl::testing::WindowAnswer answer(QStringLiteral("SourceDlg"), [](QWidget& w) {
            if (auto* acquire = w.findChild<QPushButton*>(QStringLiteral("AcquireBtn")))
                acquire->click();
        });
        m_form->Item("ScanImage")->trigger();
    }
    // イメージの取得 with saving to PNG files named "scan" in the scratch folder.
    void ScanToFiles()
    {
        m_form->AppSettings().twainSave = true;
        m_form->AppSettings().twainMode = 4;
        const QString folder = QString::fromStdString(m_out.Path().string());
        m_guard.dialogs->dialogAnswers.push_back([folder](QDialog& d) {
            auto& dialog = dynamic_cast<TGImgDlg&>(d);
            dialog.FoEdit()->setText(folder);
            dialog.FnEdit()->setText("scan");
            dialog.OkClick();
            return dialog.result();
        });
        Scan();
    }

    TempDir m_dir;
    TempDir m_out; // where scans are saved
    vtl::testing::SaneTestDevice m_device;
    DialogGuard m_guard;
    std::unique_ptr<TMainForm> m_form;
};

} // namespace

TEST_F(GImgDialogTest, RefusesMissingFolderAndStoresTheValues)
{
    vtl::app::Settings settings;
    settings.twainDir = (m_dir.Path() / "nowhere").string();
    settings.twainName = "img";
    settings.twainMode = 3;
    TGImgDlg dialog(settings);
    EXPECT_EQ(dialog.windowTitle(), U("イメージの保存"));
    EXPECT_EQ(dialog.FoEdit()->text(), QString::fromStdString(settings.twainDir));
    EXPECT_EQ(dialog.FnEdit()->text(), "img");
    ASSERT_EQ(dialog.SvBox()->count(), 5);
    EXPECT_EQ(dialog.SvBox()->itemText(1), U("BITMAP(≦256色)"));
    EXPECT_EQ(dialog.SvBox()->currentIndex(), 3);

    m_guard.dialogs->messageAnswers.push_back(vtl::platform::qt::MsgResult::Ok);
    dialog.OkClick();
    ASSERT_EQ(m_guard.dialogs->messages.size(), 1u);
    EXPECT_EQ(m_guard.dialogs->messages[0].text, U("フォルダが存在しません。"));
    EXPECT_EQ(m_guard.dialogs->messages[0].title, "vtl");
    EXPECT_EQ(dialog.result(), QDialog::Rejected);

    // The folder button fills the folder box; it starts without the trailing separator.
    const QString chosen = QString::fromStdString(m_dir.Path().string());
    QString started;
    vtl::input::ui::SetFolderChooser([&](QWidget*, const QString&, const QString& folder) {
        started = folder;
        return std::optional<QString>(chosen);
    });
    dialog.FoEdit()->setText(chosen + "/");
    dialog.SpeedButton1()->click();
    EXPECT_EQ(started, chosen);
    EXPECT_EQ(dialog.FoEdit()->text(), chosen);

    dialog.FnEdit()->setText("page");
    dialog.SvBox()->setCurrentIndex(4);
    dialog.OkClick();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.BasePath(), chosen + "/page");
    dialog.ApplyTo(settings);
    EXPECT_EQ(settings.twainDir, m_dir.Path().string());
    EXPECT_EQ(settings.twainName, "page");
    EXPECT_EQ(settings.twainMode, 4);
}

TEST_F(GImgDialogTest, ScanWithoutManagerWarns)
{
    qputenv("VTL_TWAIN_DSM", QByteArray::fromStdString((m_dir.Path() / "none.so").string()));
    m_form->AppSettings().twainSave = false;
    m_guard.dialogs->messageAnswers.push_back(vtl::platform::qt::MsgResult::Ok);
    m_form->ScanImageExecute();
    ASSERT_EQ(m_guard.dialogs->messages.size(), 1u);
    EXPECT_EQ(m_guard.dialogs->messages[0].text, U("TWAIN はインストールされていません。"));

    // With the file option, cancelling the save dialog stops before the manager is looked for.
    m_form->AppSettings().twainSave = true;
    m_guard.dialogs->dialogAnswers.push_back([](QDialog&) { return int(QDialog::Rejected); });
    m_form->ScanImageExecute();
    EXPECT_EQ(m_guard.dialogs->messages.size(), 1u);
}

TEST_F(GImgDialogTest, ScanThroughTheManagerToDocumentsAndFiles)
{
    if (!UseSaneTestDevice())
        GTEST_SKIP() << "the manager library was not built";
    auto* area = m_form->findChild<QMdiArea*>();
    ASSERT_NE(area, nullptr);
    const auto before = area->subWindowList().size();
    m_form->AppSettings().twainSave = false;
    Scan();
    if (!m_guard.dialogs->messages.empty()) {
        m_guard.dialogs->messages.clear();
        GTEST_SKIP() << "SANE's test backend is not available";
    }
    EXPECT_EQ(area->subWindowList().size(), before + 1);

    ScanToFiles();
    EXPECT_TRUE(std::filesystem::exists(m_out.Path() / "scan_1.png"));
    EXPECT_EQ(m_form->AppSettings().twainName, "scan");
    EXPECT_EQ(area->subWindowList().size(), before + 1);
}

TEST_F(GImgDialogTest, AScanThatCannotBeSavedIsReported)
{
    if (!UseSaneTestDevice())
        GTEST_SKIP() << "the manager library was not built";
    vtl::platform::FailNextWritesForTesting(1);
    m_guard.dialogs->messageAnswers
        = { vtl::platform::qt::MsgResult::Ok, vtl::platform::qt::MsgResult::Ok };
    ScanToFiles();
    vtl::platform::FailNextWritesForTesting(0);
    ASSERT_FALSE(m_guard.dialogs->messages.empty());
    // The scanner's own warnings: SANE's test device could not be opened (its configuration is
    // read once per process).
    if (m_guard.dialogs->messages[0].icon == vtl::platform::qt::MsgIcon::Warning) {
        m_guard.dialogs->messages.clear();
        GTEST_SKIP() << "SANE's test backend is not available";
    }
    EXPECT_EQ(m_guard.dialogs->messages[0].icon, vtl::platform::qt::MsgIcon::Error);
    EXPECT_FALSE(std::filesystem::exists(m_out.Path() / "scan_1.png"));
    // The program goes on: the next scan is saved.
    m_guard.dialogs->messages.clear();
    ScanToFiles();
    EXPECT_TRUE(std::filesystem::exists(m_out.Path() / "scan_1.png"));
}
