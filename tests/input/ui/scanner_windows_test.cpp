// The scanner manager's two windows, driven through the frame's menu items: the source selection
// (デバイスの選択) and the source's own window (イメージの取得), over SANE's test backend.

#include "app/ui/main_form.h"
#include "document/ui/mdi_child.h"
#include "input/sane_test_device.h"
#include "input/ui/gimg_dialog.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"
#include "support/window_answers.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <list>
#include <memory>
#include <stdexcept>
#include <string>

using vtl::app::ui::TMainForm;
using vtl::document::ui::TMDIChild;
using vtl::platform::TPixelFormat;
using vtl::testing::DialogGuard;
using vtl::testing::EnvVar;
using vtl::testing::SaneTestDevice;
using vtl::testing::TempDir;
using vtl::testing::WindowAnswer;

namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

// The test device as the tests start it: grey, 8 bits, 25 dpi, an area of 80 x 100 mm on a bed
// of 200 x 200 mm.
const char* const kDevice = "mode Gray\ndepth 8\nresolution 25.0\ntest-picture \"Color pattern\"";

template <typename T> T& Child(QWidget& window, const char* name)
{
    T* child = window.findChild<T*>(QString::fromUtf8(name));
    if (!child)
        throw std::runtime_error(std::string("no control ") + name);
    return *child;
}

// Chooses the entry whose value (the device's own, or a number) is `value`.
void Choose(QWidget& window, const char* box, const QVariant& value)
{
    auto& combo = Child<QComboBox>(window, box);
    const int index = combo.findData(value);
    ASSERT_GE(index, 0) << box << " lacks " << value.toString().toStdString();
    combo.setCurrentIndex(index);
}

void Click(QWidget& window, const char* button) { Child<QPushButton>(window, button).click(); }

class ScannerWindowsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_env.emplace_back("VTL_REGISTRY_DIR", m_dir.Path().string());
        m_env.emplace_back("VTL_HOME", m_dir.Path().string());
        if (!m_sane.Use(kDevice, 3))
            GTEST_SKIP() << "the manager library was not built";
        m_form = std::make_unique<TMainForm>(QStringList {});
        m_form->AppSettings().twainSave = false;
    }
    void TearDown() override { m_form.reset(); }

    QList<TMDIChild*> Documents() const
    {
        QList<TMDIChild*> documents;
        for (QMdiSubWindow* sub : m_form->findChild<QMdiArea*>()->subWindowList())
            if (auto* child = qobject_cast<TMDIChild*>(sub))
                documents.push_back(child);
        return documents;
    }
    std::string Remembered() const { return vtl::testing::ReadFile(m_dir.Path() / "twain-source"); }

    // イメージの取得 with `inWindow` done in the source's window.
    void Scan(const std::function<void(QWidget&)>& inWindow)
    {
        WindowAnswer answer(QStringLiteral("SourceDlg"), [&](QWidget& w) { inWindow(w); });
        m_form->Item("ScanImage")->trigger();
        EXPECT_TRUE(answer.Answered()) << "the source's window did not show";
        EXPECT_EQ(vtl::testing::VisibleWindow(QStringLiteral("SourceDlg")), nullptr);
    }
    // デバイスの選択 with `inWindow` done in the selection window.
    void Select(const std::function<void(QWidget&)>& inWindow)
    {
        WindowAnswer answer(QStringLiteral("SourceSelectDlg"), [&](QWidget& w) { inWindow(w); });
        m_form->Item("SelectDevice")->trigger();
        EXPECT_TRUE(answer.Answered()) << "the selection window did not show";
    }
    void ExpectWarned(const char* text)
    {
        ASSERT_EQ(m_guard.dialogs->messages.size(), 1u);
        EXPECT_EQ(m_guard.dialogs->messages[0].text, U(text));
        EXPECT_EQ(m_guard.dialogs->messages[0].icon, vtl::platform::qt::MsgIcon::Warning);
        m_guard.dialogs->messages.clear();
    }

    TempDir m_dir;
    std::list<EnvVar> m_env;
    SaneTestDevice m_sane;
    DialogGuard m_guard;
    std::unique_ptr<TMainForm> m_form;
};

} // namespace

TEST_F(ScannerWindowsTest, SelectionListsTheDevicesAndRemembersTheChoice)
{
    Select([](QWidget& w) {
        EXPECT_EQ(w.windowTitle(), U("ソースの選択"));
        auto& list = Child<QListWidget>(w, "SourceList");
        ASSERT_EQ(list.count(), 3);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(
                list.item(i)->data(Qt::UserRole).toString(), QStringLiteral("test:%1").arg(i));
        EXPECT_EQ(list.currentRow(), 0); // nothing remembered yet: the first device
        EXPECT_EQ(Child<QPushButton>(w, "SelectBtn").text(), U("選択"));
        EXPECT_EQ(Child<QPushButton>(w, "CancelBtn").text(), U("キャンセル"));
        list.setCurrentRow(1);
        Click(w, "SelectBtn");
    });
    EXPECT_EQ(Remembered(), "test:1\n");

    // Shown again, the remembered device is selected; cancelling keeps it.
    Select([](QWidget& w) {
        auto& list = Child<QListWidget>(w, "SourceList");
        EXPECT_EQ(list.currentRow(), 1);
        list.setCurrentRow(2);
        Click(w, "CancelBtn");
    });
    EXPECT_EQ(Remembered(), "test:1\n");

    // The scan goes to the remembered device.
    Scan([](QWidget& w) {
        EXPECT_TRUE(w.windowTitle().endsWith(QStringLiteral("test:1")))
            << w.windowTitle().toStdString();
        Click(w, "CancelBtn");
    });
    EXPECT_TRUE(Documents().empty());
    EXPECT_TRUE(m_guard.dialogs->messages.empty());
}

TEST_F(ScannerWindowsTest, ModesResolutionsAndAreaGiveThePicturesAsked)
{
    struct Case {
        const char* mode;
        int depth;
        int dpi;
        double right, bottom; // mm; the area starts at the bed's corner
        int width, height; // what the device makes: dpi * mm / 25.4, rounded down
        TPixelFormat format;
    };
    const Case cases[] = {
        { "Gray", 8, 100, 80, 100, 314, 393, TPixelFormat::pf8bit },
        { "Color", 8, 50, 80, 100, 157, 196, TPixelFormat::pf24bit },
        { "Gray", 1, 100, 80, 100, 314, 393, TPixelFormat::pf1bit },
        { "Color", 16, 75, 80, 100, 236, 295, TPixelFormat::pf24bit },
        { "Gray", 8, 100, 127, 51, 500, 200, TPixelFormat::pf8bit },
    };
    for (const Case& c : cases) {
        const auto before = Documents().size();
        Scan([&](QWidget& w) {
            EXPECT_EQ(Child<QLabel>(w, "StatusLabel").text(), QString());
            Choose(w, "ModeBox", QString::fromUtf8(c.mode));
            Choose(w, "DepthBox", double(c.depth));
            Choose(w, "ResolutionBox", double(c.dpi));
            Child<QDoubleSpinBox>(w, "RightBox").setValue(c.right);
            Child<QDoubleSpinBox>(w, "BottomBox").setValue(c.bottom);
            Click(w, "AcquireBtn");
        });
        const auto documents = Documents();
        ASSERT_EQ(documents.size(), before + 1) << c.mode << c.depth << " " << c.dpi;
        const auto& picture = documents.back()->Picture();
        EXPECT_EQ(picture.Width(), c.width) << c.mode << c.depth << " " << c.dpi;
        EXPECT_EQ(picture.Height(), c.height) << c.mode << c.depth << " " << c.dpi;
        EXPECT_EQ(picture.PixelFormat(), c.format) << c.mode << c.depth << " " << c.dpi;
    }
    EXPECT_TRUE(m_guard.dialogs->messages.empty());
}

TEST_F(ScannerWindowsTest, WindowShowsTheDeviceOptionsInJapanese)
{
    Scan([](QWidget& w) {
        EXPECT_TRUE(w.windowTitle().startsWith(U("スキャン")));
        auto& mode = Child<QComboBox>(w, "ModeBox");
        EXPECT_EQ(mode.itemText(mode.findData(QStringLiteral("Color"))), U("カラー"));
        EXPECT_EQ(mode.currentText(), U("グレー"));
        auto& source = Child<QComboBox>(w, "SourceBox");
        EXPECT_EQ(source.itemText(source.findData(QStringLiteral("Flatbed"))), U("原稿台"));
        EXPECT_EQ(source.itemText(source.findData(QStringLiteral("Automatic Document Feeder"))),
            QStringLiteral("ADF"));
        EXPECT_EQ(Child<QComboBox>(w, "ResolutionBox").currentText(), QStringLiteral("25 dpi"));
        EXPECT_EQ(Child<QDoubleSpinBox>(w, "RightBox").value(), 80);
        EXPECT_EQ(Child<QDoubleSpinBox>(w, "RightBox").maximum(), 200);
        EXPECT_EQ(Child<QPushButton>(w, "PreviewBtn").text(), U("プレビュー"));
        EXPECT_EQ(Child<QPushButton>(w, "AcquireBtn").text(), U("取り込み"));
        // The test device has neither brightness nor contrast: nothing is offered for them.
        EXPECT_FALSE(Child<QDoubleSpinBox>(w, "BrightnessBox").isVisibleTo(&w));
        EXPECT_FALSE(Child<QDoubleSpinBox>(w, "ContrastBox").isVisibleTo(&w));
        Click(w, "CancelBtn");
    });
}

TEST_F(ScannerWindowsTest, PreviewShowsTheWholeBedAndKeepsTheSettings)
{
    Scan([](QWidget& w) {
        Choose(w, "ModeBox", QStringLiteral("Color"));
        Choose(w, "ResolutionBox", 100.0);
        auto& preview = Child<QWidget>(w, "PreviewArea");
        EXPECT_FALSE(preview.property("pictureSize").toSize().isValid());
        Click(w, "PreviewBtn");
        // 200 x 200 mm at the preview's 38 dpi.
        EXPECT_EQ(preview.property("pictureSize").toSize(), QSize(299, 299));
        EXPECT_EQ(Child<QLabel>(w, "StatusLabel").text(), QString());
        EXPECT_EQ(Child<QComboBox>(w, "ResolutionBox").currentData().toDouble(), 100.0);
        EXPECT_EQ(Child<QDoubleSpinBox>(w, "RightBox").value(), 80);
        EXPECT_EQ(Child<QDoubleSpinBox>(w, "BottomBox").value(), 100);
        EXPECT_TRUE(Child<QPushButton>(w, "AcquireBtn").isEnabled());
        Click(w, "AcquireBtn");
    });
    ASSERT_EQ(Documents().size(), 1);
    EXPECT_EQ(Documents()[0]->Picture().Width(), 314);
    EXPECT_EQ(Documents()[0]->Picture().Height(), 393);
}

TEST_F(ScannerWindowsTest, CancelEndsTheRunWithNothing)
{
    Scan([](QWidget& w) { Click(w, "CancelBtn"); });
    EXPECT_TRUE(Documents().empty());

    // To files: nothing is written either.
    m_form->AppSettings().twainSave = true;
    const QString folder = QString::fromStdString(m_dir.Path().string());
    m_guard.dialogs->dialogAnswers.push_back([folder](QDialog& d) {
        auto& dialog = dynamic_cast<vtl::input::ui::TGImgDlg&>(d);
        dialog.FoEdit()->setText(folder);
        dialog.FnEdit()->setText("page");
        dialog.OkClick();
        return dialog.result();
    });
    Scan([](QWidget& w) { w.close(); }); // closing the window is キャンセル
    EXPECT_FALSE(std::filesystem::exists(m_dir.Path() / "page_1.bmp"));
    EXPECT_TRUE(m_guard.dialogs->messages.empty());
}

TEST_F(ScannerWindowsTest, FeederScansUntilItIsEmpty)
{
    m_form->AppSettings().twainSave = true;
    m_form->AppSettings().twainMode = 0;
    const QString folder = QString::fromStdString(m_dir.Path().string());
    m_guard.dialogs->dialogAnswers.push_back([folder](QDialog& d) {
        auto& dialog = dynamic_cast<vtl::input::ui::TGImgDlg&>(d);
        dialog.FoEdit()->setText(folder);
        dialog.FnEdit()->setText("img");
        dialog.OkClick();
        return dialog.result();
    });
    Scan([](QWidget& w) {
        Choose(w, "SourceBox", QStringLiteral("Automatic Document Feeder"));
        Click(w, "AcquireBtn");
    });
    // The test device's feeder holds ten sheets.
    for (int n = 1; n <= 10; ++n)
        EXPECT_TRUE(std::filesystem::exists(m_dir.Path() / ("img_" + std::to_string(n) + ".bmp")))
            << n;
    EXPECT_FALSE(std::filesystem::exists(m_dir.Path() / "img_11.bmp"));
    EXPECT_TRUE(m_guard.dialogs->messages.empty());
}

TEST_F(ScannerWindowsTest, DeviceGoneBetweenSelectionAndScanIsReported)
{
    Select([](QWidget& w) {
        Child<QListWidget>(w, "SourceList").setCurrentRow(2);
        Click(w, "SelectBtn");
    });
    ASSERT_EQ(Remembered(), "test:2\n");
    SaneTestDevice::Configure(kDevice, 2); // test:2 is unplugged

    m_guard.dialogs->messageAnswers.push_back(vtl::platform::qt::MsgResult::Ok);
    m_form->Item("ScanImage")->trigger();
    ExpectWarned("TWAIN データソースを開くことができません。");
    EXPECT_EQ(vtl::testing::VisibleWindow(QStringLiteral("SourceDlg")), nullptr);
    EXPECT_TRUE(Documents().empty());

    // The program goes on: the selection lists what is there, and the next scan works.
    Select([](QWidget& w) {
        auto& list = Child<QListWidget>(w, "SourceList");
        EXPECT_EQ(list.count(), 2);
        EXPECT_EQ(list.currentRow(), 0);
        Click(w, "SelectBtn");
    });
    Scan([](QWidget& w) { Click(w, "AcquireBtn"); });
    EXPECT_EQ(Documents().size(), 1);
}

TEST_F(ScannerWindowsTest, DeviceFailingOrHangingMidScanIsReported)
{
    EnvVar stall("VTL_TWAIN_STALL_MS", "50");
    for (const char* options : { "mode Gray\nread-status-code \"SANE_STATUS_IO_ERROR\"",
             "mode Gray\nresolution 300.0\nread-delay true\nread-delay-duration 200000" }) {
        SaneTestDevice::Configure(options, 3);
        m_guard.dialogs->messageAnswers.push_back(vtl::platform::qt::MsgResult::Ok);
        Scan([](QWidget& w) { Click(w, "AcquireBtn"); });
        ExpectWarned("TWAIN データソースを開くことができません。");
        EXPECT_TRUE(Documents().empty()) << options;
    }
}

TEST_F(ScannerWindowsTest, EmptyFeederIsToldInTheWindowWhichWaitsAgain)
{
    SaneTestDevice::Configure("mode Gray\nread-status-code \"SANE_STATUS_NO_DOCS\"", 3);
    bool told = false;
    Scan([&told](QWidget& w) {
        Click(w, "AcquireBtn");
        // The transfer runs once this returns; the window is watched until it waits again.
        auto* watch = new QTimer(&w);
        auto clock = std::make_shared<QElapsedTimer>();
        clock->start();
        QObject::connect(watch, &QTimer::timeout, &w, [&w, &told, watch, clock] {
            auto* status = w.findChild<QLabel*>(QStringLiteral("StatusLabel"));
            auto* acquire = w.findChild<QPushButton*>(QStringLiteral("AcquireBtn"));
            told = status && acquire && acquire->isEnabled()
                && status->text() == U("原稿がありません。");
            if (told || clock->elapsed() > 10000) {
                watch->stop();
                w.findChild<QPushButton*>(QStringLiteral("CancelBtn"))->click();
            }
        });
        watch->start(10);
    });
    EXPECT_TRUE(told);
    EXPECT_TRUE(Documents().empty());
    EXPECT_TRUE(m_guard.dialogs->messages.empty());
}
