#include "app/setting_file.h"
#include "app/ui/about_box.h"
#include "app/ui/main_form.h"
#include "document/ui/mdi_child.h"
#include "input/ui/loading_pipeline.h"
#include "platform/bitmap.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"

#include "document/ui/image_view.h"
#include "platform/qt/dialog_service.h"
#include "platform/qt/translations.h"
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QGridLayout>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTranslator>
#include <QWheelEvent>
#include <gtest/gtest.h>

using vtl::app::ui::TAboutBox;
using vtl::app::ui::TMainForm;
using vtl::platform::RegistryRoot;
using vtl::testing::DialogGuard;
using vtl::testing::ReadFile;
using vtl::testing::TempDir;
using vtl::testing::WriteFile;

namespace {

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("VTL_REGISTRY_DIR", QByteArray::fromStdString(m_dir.Path().string()));
    }
    void TearDown() override { qunsetenv("VTL_REGISTRY_DIR"); }

    std::string RegistryText() { return ReadFile(m_dir / "HKEY_CURRENT_USER.reg"); }
    std::optional<std::string> Stored(const char* section, const char* name)
    {
        vtl::platform::Registry reg(m_dir.Path());
        return reg.ReadString(
            RegistryRoot::CurrentUser, std::string("software\\Tamsol\\vtl\\") + section, name);
    }
    void Store(const char* section, const char* name, const char* value)
    {
        vtl::platform::Registry reg(m_dir.Path());
        reg.WriteString(RegistryRoot::CurrentUser, std::string("software\\Tamsol\\vtl\\") + section,
            name, value);
        reg.Flush();
    }

    TempDir m_dir;
};

QString Text(const char* s) { return QString::fromUtf8(s); }

}

TEST_F(MainFormTest, FrameHasItsMenusToolsAndTexts)
{
    TMainForm form({});
    EXPECT_EQ(form.windowTitle(), "Vistrel");

    QStringList menus;
    for (QAction* a : form.menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus,
        (QStringList {
            Text("ファイル(&F)"), Text("表示(&E)"), Text("ウインドウ(&W)"), Text("ヘルプ(&H)") }));

    struct Expected {
        const char* name;
        const char* caption;
        const char* hint;
    };
    for (const Expected& e : std::initializer_list<Expected> {
             { "FileNewItem", "新規作成(&N)", "新規画像を作成します。" },
             { "FileOpenItem", "開く(&O)", "既存の画像を開きます。" },
             { "SetOpen", "設定を開く(&E)", "保存した設定を開きます。" },
             { "ScanImageMenu", "イメージの取得(&Q)", "スキャナよりイメージを取得します。" },
             { "SelectDeviceMenu", "デバイスの選択(&L)...", "TWAINデバイスを選択します。" },
             { "SumMenu", "サムネイル(&S)", "フォルダリストとサムネイルを表示します。" },
             { "FileExitItem", "終了(&X)", "アプリケーションを終了します。" },
             { "ToolBar1", "ツールバー(&T)", "ツールバーの表示/非表示を設定します。" },
             { "Kanren", "関連付け(&L)...", "関連付けを行います。" },
             { "WindowArrangeItem", "アイコンの整列(&A)",
                 "すべてのアイコンをウインドウの下に並べ直します。" },
             { "HelpAboutItem", "バージョン情報(&A)", "バージョン情報を表示します。" },
         }) {
        QAction* a = form.Item(e.name);
        ASSERT_NE(a, nullptr) << e.name;
        EXPECT_EQ(a->text(), Text(e.caption)) << e.name;
        EXPECT_EQ(a->statusTip(), Text(e.hint)) << e.name;
    }
    EXPECT_EQ(form.Item("FileNewItem")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
    EXPECT_EQ(form.Item("FileOpenItem")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));

    // Tool buttons: hint, check style, initial state.
    struct Button {
        const char* name;
        const char* hint;
        bool check;
        bool enabled;
    };
    for (const Button& b : std::initializer_list<Button> { { "ExitBtn", "終了", false, true },
             { "SumBtn", "サムネイル", true, true }, { "NewBtn", "新規", false, true },
             { "OpenBtn", "開く", false, true }, { "SaveBtn", "保存", false, false },
             { "PrintBtn", "印刷", false, false }, { "ScanBtn", "スキャナ", false, true },
             { "UndoBtn", "元に戻す", false, false }, { "CopyBtn", "コピー", false, false },
             { "RCopyBtn", "範囲コピー", false, false },
             { "PasteBtn", "張り付け", false, false }, // no child window yet
             { "DelBtn", "削除", false, false }, { "MojiBtn", "文字入力", true, false },
             { "ToolButton7", "フォント", false, true }, { "LineBtn", "自由線", true, false },
             { "ToolButton8", "線色", false, true }, { "BackBtn", "次のウィンドウ", false, false },
             { "CloseBtn", "閉じる", false, false }, { "LeftBtn", "前", false, false },
             { "RightBtn", "次", false, false }, { "playBtn", "連続表示", true, false } }) {
        QAction* a = form.Item(b.name);
        ASSERT_NE(a, nullptr) << b.name;
        EXPECT_EQ(a->toolTip(), Text(b.hint)) << b.name;
        EXPECT_EQ(a->isCheckable(), b.check) << b.name;
        EXPECT_EQ(a->isEnabled(), b.enabled) << b.name;
        EXPECT_TRUE(a->statusTip().isEmpty()) << b.name;
    }
    QComboBox* rate = form.RateBox();
    ASSERT_EQ(rate->count(), 8);
    EXPECT_EQ(rate->itemText(0), "25%");
    EXPECT_EQ(rate->itemText(7), "800%");
    EXPECT_EQ(rate->currentIndex(), 3);
    EXPECT_FALSE(rate->isEnabled());
    EXPECT_FALSE(form.Timer1()->isActive());
}

TEST_F(MainFormTest, HintsGoToTheStatusPanel)
{
    TMainForm form({});
    QStatusTipEvent tip(Text("既存の画像を開きます。"));
    QApplication::sendEvent(&form, &tip);
    EXPECT_EQ(form.StatusText(), Text("既存の画像を開きます。"));
    QStatusTipEvent empty(QString {});
    QApplication::sendEvent(&form, &empty);
    EXPECT_EQ(form.StatusText(), QString());
}

TEST_F(MainFormTest, ColourChoiceIsStoredAndCheckedOnReopening)
{
    {
        TMainForm form({});
        EXPECT_TRUE(form.Item("cp0")->isChecked());
        form.Item("cp9")->trigger(); // "赤"
        EXPECT_EQ(form.Item("cp9")->text(), Text("赤"));
        EXPECT_EQ(form.AppSettings().lineColor, 9);
        form.close();
    }
    EXPECT_EQ(Stored("Line", "Color"), "9");
    TMainForm form({});
    form.PopupMenu3Change();
    EXPECT_TRUE(form.Item("cp9")->isChecked());
    EXPECT_FALSE(form.Item("cp0")->isChecked());
}

TEST_F(MainFormTest, ViewTogglesShowAndHideAndAreStored)
{
    {
        TMainForm form({});
        form.show();
        form.Item("ToolBar1")->trigger();
        EXPECT_FALSE(form.Panel1()->isVisible());
        form.Item("StatusBar1")->trigger();
        EXPECT_FALSE(form.statusBar()->isVisible());
        form.close();
    }
    EXPECT_EQ(Stored("Bar", "Tool"), "0");
    EXPECT_EQ(Stored("Bar", "Status"), "0");
    TMainForm form({});
    form.show();
    EXPECT_FALSE(form.Item("ToolBar1")->isChecked());
    EXPECT_FALSE(form.Panel1()->isVisible());
}

TEST_F(MainFormTest, ViewTogglesFromADocumentsMenuActAsTheFramesOwn)
{
    {
        TMainForm form({});
        form.show();
        auto* doc = dynamic_cast<vtl::document::ui::TMDIChild*>(vtl::input::ui::NewDocument(form,
            vtl::platform::TBitmap(4, 4), "x", "x", 3, vtl::document::ui::TMDIChild::Origin::File));
        ASSERT_NE(doc, nullptr);
        doc->Item("ToolBar1")->trigger();
        doc->Item("StatusBar1")->trigger();
        EXPECT_FALSE(form.Panel1()->isVisible());
        EXPECT_FALSE(form.statusBar()->isVisible());
        EXPECT_FALSE(form.Item("ToolBar1")->isChecked());
        EXPECT_FALSE(doc->Item("ToolBar1")->isChecked());
        // And back.
        doc->Item("StatusBar1")->trigger();
        EXPECT_TRUE(form.statusBar()->isVisible());
        EXPECT_TRUE(doc->Item("StatusBar1")->isChecked());
        doc->Item("StatusBar1")->trigger();
        form.close();
    }
    EXPECT_EQ(Stored("Bar", "Tool"), "0");
    EXPECT_EQ(Stored("Bar", "Status"), "0");
}

TEST_F(MainFormTest, EveryToolButtonShowsInTheDefaultFrame)
{
    TMainForm form({});
    form.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(form.width(), 640);
    auto* bar = form.findChild<QToolBar*>("ToolBar");
    ASSERT_NE(bar, nullptr);
    for (QAction* a : bar->actions()) {
        QWidget* w = bar->widgetForAction(a);
        if (!w || a->isSeparator())
            continue;
        SCOPED_TRACE(a->objectName().toStdString());
        EXPECT_TRUE(w->isVisible());
        EXPECT_LE(w->geometry().right(), bar->width());
    }
}

TEST_F(MainFormTest, SmallSettingsAreKeptAndOldPluginLinesAreSavedUpgraded)
{
    // A pen of width 0 is the thinnest pen, not a damaged value.
    Store("Line", "Size", "0");
    {
        TMainForm form({});
        EXPECT_EQ(form.AppSettings().lineSize, 0);
        form.close();
    }
    EXPECT_EQ(Stored("Line", "Size"), "0");

    // A plug-in list line of the old form, without its kind, is upgraded as the list is read and
    // saved so at exit.
    const auto plugin = std::filesystem::path(VTL_BINARY_DIR) / "plugins" / "vtlgif.spi";
    if (!std::filesystem::exists(plugin))
        GTEST_SKIP() << "the program's own plug-ins were not built";
    const QByteArray home = qgetenv("VTL_HOME");
    qputenv("VTL_HOME", QByteArray::fromStdString(m_dir.Path().string()));
    WriteFile(m_dir / "vtl.dat", "*.gif,\"Old GIF\",\"" + plugin.string() + "\"\r\n");
    {
        TMainForm form({});
        form.close();
    }
    qputenv("VTL_HOME", home);
    const std::string saved = ReadFile(m_dir / "vtl.dat");
    EXPECT_EQ(saved.rfind("f,*.gif,", 0), 0u) << saved;
}

TEST_F(MainFormTest, ArrangingWindowsTilesAGridAndCascadesToAUsableSize)
{
    TMainForm form({});
    form.resize(900, 700);
    form.show();
    QList<QMdiSubWindow*> windows;
    for (int i = 0; i < 5; ++i)
        windows << vtl::input::ui::NewDocument(form, vtl::platform::TBitmap(50, 40),
            QString::number(i), QString::number(i), 3, vtl::document::ui::TMDIChild::Origin::File);
    const QRect area = form.MdiArea()->viewport()->rect();
    // Five side by side: two columns, the second of three windows.
    form.Item("WindowTileItem")->trigger();
    EXPECT_EQ(windows[0]->geometry(), QRect(0, 0, area.width() / 2, area.height() / 2));
    EXPECT_EQ(windows[1]->geometry().top(), area.height() / 2);
    EXPECT_EQ(windows[2]->geometry().left(), area.width() / 2);
    EXPECT_EQ(windows[2]->geometry().height(), area.height() / 3);
    EXPECT_EQ(windows[4]->geometry().bottom(), area.height() - 1);
    // Stacked: two rows, the second of three.
    form.Item("V1")->trigger();
    EXPECT_EQ(windows[0]->geometry(), QRect(0, 0, area.width() / 2, area.height() / 2));
    EXPECT_EQ(windows[1]->geometry().left(), area.width() / 2);
    EXPECT_EQ(windows[2]->geometry().top(), area.height() / 2);
    EXPECT_EQ(windows[2]->geometry().width(), area.width() / 3);
    // Cascading after working maximised: every window of a usable size, each one step lower.
    windows[3]->showMaximized();
    form.Item("WindowCascadeItem")->trigger();
    for (QMdiSubWindow* w : windows) {
        EXPECT_FALSE(w->isMaximized());
        EXPECT_GE(w->width(), area.width() / 2);
        EXPECT_GE(w->height(), area.height() / 2);
    }
    EXPECT_GT(windows[1]->y(), windows[0]->y());
    EXPECT_EQ(form.MdiArea()->activeSubWindow(), windows[3]) << "the active window stays active";
    for (auto* w : windows)
        delete w;
}

TEST_F(MainFormTest, BigPicturesCanBeReachedByScrolling)
{
    TMainForm form({});
    form.resize(800, 600);
    form.show();
    auto* doc = vtl::input::ui::NewDocument(form, vtl::platform::TBitmap(1600, 1200), "big", "big",
        3, vtl::document::ui::TMDIChild::Origin::File);
    QCoreApplication::processEvents();
    // The window stands beyond the client area, which scrolls to it.
    EXPECT_GT(form.MdiArea()->horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(form.MdiArea()->verticalScrollBar()->maximum(), 0);
    // Made smaller than its picture, the document scrolls itself, and the wheel moves it.
    doc->resize(400, 300);
    QCoreApplication::processEvents();
    auto* scroll = doc->findChild<QScrollArea*>("ScrollArea");
    ASSERT_NE(scroll, nullptr);
    ASSERT_TRUE(scroll->verticalScrollBar()->isVisible());
    QWheelEvent wheel(QPointF(10, 10), doc->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, -120),
        Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(scroll->viewport(), &wheel);
    EXPECT_EQ(scroll->verticalScrollBar()->value(), scroll->viewport()->height() * 2 / 3 + 1);
    delete doc;
}

TEST_F(MainFormTest, AllFilesListsNamesWithoutAnExtension)
{
    EXPECT_EQ(vtl::platform::qt::QtFilter(Text("全ファイル|*.*")), Text("全ファイル (*)"));
    TempDir dir;
    WriteFile(dir / "README", "x");
    WriteFile(dir / "a.bmp", "x");
    QStringList listed = QDir(QString::fromStdString(dir.Path().string()))
                             .entryList({ QStringLiteral("*") }, QDir::Files);
    listed.sort();
    EXPECT_EQ(listed, (QStringList { "README", "a.bmp" }));
}

TEST_F(MainFormTest, PointerAndWindowMenuHints)
{
    TMainForm form({});
    form.resize(700, 500);
    form.show();
    auto* a = vtl::input::ui::NewDocument(form, vtl::platform::TBitmap(100, 80), "a", "a", 3,
        vtl::document::ui::TMDIChild::Origin::File);
    auto* b = vtl::input::ui::NewDocument(form, vtl::platform::TBitmap(100, 80), "b", "b", 3,
        vtl::document::ui::TMDIChild::Origin::File);
    QCoreApplication::processEvents();
    // The pointer moved, no button held: over the picture its point, off it and over the
    // frame's client area the panel is cleared.
    QTest::mouseMove(b->Image1(), QPoint(10, 12));
    EXPECT_EQ(form.StatusText(), " Point (10:12)");
    auto* viewport = b->findChild<QScrollArea*>("ScrollArea")->viewport();
    b->resize(300, 300);
    QCoreApplication::processEvents();
    QTest::mouseMove(viewport, QPoint(viewport->width() - 3, viewport->height() - 3));
    EXPECT_EQ(form.StatusText(), QString());
    form.SetStatusText("x");
    QTest::mouseMove(form.MdiArea()->viewport(),
        QPoint(form.MdiArea()->viewport()->width() - 5, form.MdiArea()->viewport()->height() - 5));
    EXPECT_EQ(form.StatusText(), QString());
    // The child's window menu moves to the next window and says so.
    QAction* next = b->systemMenu()->findChild<QAction*>("NextWindow");
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->statusTip(), Text("次のウインドウをアクティブにします。"));
    form.MdiArea()->setActiveSubWindow(b);
    next->trigger();
    EXPECT_EQ(form.MdiArea()->activeSubWindow(), a);
    delete a;
    delete b;
}

TEST_F(MainFormTest, LineColoursShowInTwoColumnsWithTheirSamples)
{
    TMainForm form({});
    auto* doc = dynamic_cast<vtl::document::ui::TMDIChild*>(vtl::input::ui::NewDocument(form,
        vtl::platform::TBitmap(4, 4), "x", "x", 3, vtl::document::ui::TMDIChild::Origin::File));
    for (QMenu* menu : { form.PopupMenu3(), doc->Item("LC1")->menu() }) {
        SCOPED_TRACE(menu->objectName().toStdString());
        auto* grid = menu->findChild<QGridLayout*>();
        ASSERT_NE(grid, nullptr);
        auto itemAt = [grid](int row, int column) {
            return qobject_cast<QToolButton*>(grid->itemAtPosition(row, column)->widget())
                ->defaultAction();
        };
        const QString prefix = menu == form.PopupMenu3() ? "cp" : "c";
        EXPECT_EQ(itemAt(7, 0)->objectName(), prefix + "8");
        EXPECT_EQ(itemAt(0, 1)->objectName(), prefix + "7");
        EXPECT_EQ(itemAt(1, 1)->text(), Text("赤"));
        EXPECT_FALSE(itemAt(1, 1)->icon().isNull());
    }
    // The document's items forward the frame's images too.
    EXPECT_FALSE(doc->Item("FileOpenItem")->icon().isNull());
    delete doc;
}

TEST_F(MainFormTest, QtsOwnTextsAreJapanese)
{
    QTranslator* translator = vtl::platform::qt::InstallJapaneseTranslations(*qApp);
    if (!translator)
        GTEST_SKIP() << "Qt's Japanese translations (qt6-translations-l10n) are not installed";
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), Text("キャンセル"));
    QCoreApplication::removeTranslator(translator);
    delete translator;
}

TEST_F(MainFormTest, DrawingToolsReleaseEachOther)
{
    TMainForm form({});
    QAction* moji = form.Item("MojiBtn");
    QAction* line = form.Item("LineBtn");
    moji->setEnabled(true);
    line->setEnabled(true);
    moji->trigger();
    EXPECT_TRUE(moji->isChecked());
    line->trigger();
    EXPECT_TRUE(line->isChecked());
    EXPECT_FALSE(moji->isChecked());
    moji->trigger();
    EXPECT_FALSE(line->isChecked());
}

TEST_F(MainFormTest, SlideShowIntervalAndRearming)
{
    Store("Op", "wait", "0");
    {
        TMainForm form({});
        EXPECT_EQ(form.Timer1()->interval(), 500);
        QAction* play = form.Item("playBtn");
        play->setEnabled(true);
        play->trigger();
        EXPECT_TRUE(form.Timer1()->isActive());
        // A step disarms the timer; the posted message arms it again while the button is down.
        form.Timer1Timer();
        EXPECT_FALSE(form.Timer1()->isActive());
        QCoreApplication::processEvents();
        EXPECT_TRUE(form.Timer1()->isActive());
        // Released during a step: the show stops after it.
        form.Timer1Timer();
        play->trigger();
        QCoreApplication::processEvents();
        EXPECT_FALSE(form.Timer1()->isActive());
    }
    Store("Op", "wait", "5");
    TMainForm form({});
    EXPECT_EQ(form.Timer1()->interval(), 5000);
}

TEST_F(MainFormTest, MaximisedCloseKeepsTheStoredPosition)
{
    Store("Pos", "Left", "20");
    Store("Pos", "Top", "10");
    {
        TMainForm form({});
        form.showMaximized();
        QCoreApplication::processEvents();
        form.close();
    }
    EXPECT_EQ(Stored("Pos", "Left"), "20");
    EXPECT_EQ(Stored("Pos", "Top"), "10");
    EXPECT_EQ(Stored("Op", "jpg"), "90");
    EXPECT_FALSE(Stored("Op", "240"));
}

TEST_F(MainFormTest, DamagedRegistryStartsWithDefaults)
{
    const char raw[] = "REGEDIT4\n[HKEY_CURRENT_USER\\software\\Tamsol\\vtl\\Op]\n\"jpg\"=hex:01,"
                       "02\n\"wait\"=\"x\"\n"
                       "\x00\xff\xfe\x01 binary "
                       "\n[HKEY_CURRENT_USER\\software\\Tamsol\\vtl\\Sum]\n\"Size\"=\"3\"";
    WriteFile(m_dir / "HKEY_CURRENT_USER.reg", std::string(raw, sizeof raw - 1));
    TMainForm form({});
    EXPECT_EQ(form.AppSettings().jpg, 90);
    EXPECT_EQ(form.AppSettings().wait, 1);
    EXPECT_EQ(form.AppSettings().sumSize, 3);
    EXPECT_FALSE(form.AppSettings().twainDir.empty()); // the temporary folder stands in
}

TEST_F(MainFormTest, FontChoiceIsKeptForTheTextTool)
{
    DialogGuard guard;
    QFont chosen(Text("IPAGothic"));
    chosen.setPointSize(20);
    chosen.setItalic(true);
    guard.dialogs->fontAnswers.push_back(vtl::platform::qt::FontChoice { chosen, 0x0000FF });
    guard.dialogs->fontAnswers.push_back(std::nullopt); // cancelled: nothing changes
    {
        TMainForm form({});
        form.Item("ToolButton7")->trigger();
        form.Item("ToolButton7")->trigger();
        EXPECT_EQ(form.TextToolFont().pointSize(), 20);
        // The dialog starts from the stored colour, then from the chosen one.
        ASSERT_EQ(guard.dialogs->fontsOffered.size(), 2u);
        EXPECT_EQ(guard.dialogs->fontsOffered[0].colour, vtl::app::kClWindowText);
        EXPECT_EQ(guard.dialogs->fontsOffered[1].colour, 0x0000FF);
        form.close();
    }
    EXPECT_EQ(Stored("Font", "Size"), "20");
    EXPECT_EQ(Stored("Font", "Style"), "2");
    EXPECT_EQ(Stored("Font", "Color"), "$000000FF");
}

TEST_F(MainFormTest, TheFontDialogOffersTheColours)
{
    // The real dialog: its colour list holds the sixteen colours with the current one chosen.
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* colours = dialog->findChild<QComboBox*>("ColorBox");
        ASSERT_NE(colours, nullptr);
        EXPECT_EQ(colours->count(), 16);
        EXPECT_EQ(colours->currentText(), Text("赤"));
        colours->setCurrentIndex(colours->findText(Text("青")));
        dialog->accept();
    });
    QFont font(Text("IPAGothic"));
    auto chosen = vtl::platform::qt::Dialogs().ChooseFont(nullptr, { font, 0x0000FF });
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->colour, 0xFF0000);
}

TEST_F(MainFormTest, SettingFilesThatAskNothing)
{
    DialogGuard guard; // any question would fail the test
    TMainForm form({});
    TempDir files;
    WriteFile(files / "only-marker.vtl", "%vtl%\r\n");
    WriteFile(files / "wrong.vtl", "not a setting file\r\n3,/a.bmp\r\n");
    form.LoadSettingFile(QString::fromStdString((files / "only-marker.vtl").string()));
    form.LoadSettingFile(QString::fromStdString((files / "wrong.vtl").string()));
    form.LoadSettingFile(QString::fromStdString((files / "missing.vtl").string()));
    form.SaveSettingFile(); // no document: nothing is asked or written
    EXPECT_TRUE(guard.dialogs->fileDialogs.empty());
    EXPECT_TRUE(guard.dialogs->messages.empty());
}

TEST_F(MainFormTest, SetOpenUsesItsDialog)
{
    DialogGuard guard;
    guard.dialogs->openAnswers.push_back(std::nullopt);
    TMainForm form({});
    form.Item("SetOpen")->trigger();
    ASSERT_EQ(guard.dialogs->fileDialogs.size(), 1u);
    EXPECT_EQ(guard.dialogs->fileDialogs[0].title, Text("設定ファイルの読み込み"));
    EXPECT_EQ(guard.dialogs->fileDialogs[0].filter, Text("設定ファイル|*.vtl"));
}

TEST_F(MainFormTest, AboutBoxShowsTheVersionAndClosesOnAClick)
{
    DialogGuard guard;
    guard.dialogs->dialogAnswers.push_back([](QDialog& box) {
        EXPECT_EQ(box.windowTitle(), Text("バージョン情報"));
        auto* version = box.findChild<QWidget*>("Version");
        EXPECT_NE(version, nullptr);
        EXPECT_EQ(vtl::app::ui::VersionText(), QStringLiteral("Version " VTL_VERSION));
        box.show();
        QTest::mouseClick(version, Qt::LeftButton);
        EXPECT_EQ(box.result(), QDialog::Accepted);
        return box.result();
    });
    TMainForm form({});
    form.Item("HelpAboutItem")->trigger();
    EXPECT_EQ(guard.dialogs->dialogsShown, (std::vector<QString> { "AboutBox" }));
}

TEST_F(MainFormTest, PasteNeedsAChildWindowAndAPicture)
{
    TMainForm form({});
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QGuiApplication::clipboard()->setImage(picture);
    QCoreApplication::processEvents();
    EXPECT_FALSE(form.Item("PasteBtn")->isEnabled());

    form.MdiArea()->addSubWindow(new QWidget)->show();
    form.UpdatePasteState();
    EXPECT_TRUE(form.Item("PasteBtn")->isEnabled());
    QGuiApplication::clipboard()->setText(QStringLiteral("text only"));
    QCoreApplication::processEvents();
    form.UpdatePasteState();
    EXPECT_FALSE(form.Item("PasteBtn")->isEnabled());
}

TEST_F(MainFormTest, AssociationsAreSetFromTheViewMenu)
{
    DialogGuard guard;
    guard.dialogs->dialogAnswers.push_back([](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), Text("レジストリ設定"));
        auto* list = dialog.findChild<QListWidget*>("CheckListBox1");
        EXPECT_NE(list, nullptr);
        if (list && list->count() > 0 && list->item(0)->text() == QStringLiteral(".bmp"))
            list->item(0)->setCheckState(Qt::Checked);
        dialog.findChild<QPushButton*>("Button1")->click();
        return dialog.result();
    });
    TMainForm form({});
    form.Item("Kanren")->trigger();
    EXPECT_EQ(guard.dialogs->dialogsShown, (std::vector<QString> { "SpiRegDlg" }));
    // 設定 wrote the association into the registry's files.
    vtl::platform::Registry reg(m_dir.Path());
    EXPECT_EQ(reg.ReadString(RegistryRoot::ClassesRoot, ".bmp", ""), "vtl.bmp");
    EXPECT_EQ(reg.ReadString(RegistryRoot::LocalMachine, "SOFTWARE\\Tamsol\\vtl", "shell"), ".bmp");
}

TEST_F(MainFormTest, SettingFileListsTheOpenDocumentsAndRestoresThem)
{
    DialogGuard guard;
    TempDir files;
    for (const char* name : { "one.bmp", "two.bmp" }) {
        vtl::platform::TBitmap picture(6, 4, vtl::platform::TPixelFormat::pf24bit);
        picture.SaveToFile(files / name);
    }
    const QString setting = QString::fromStdString((files / "pair.vtl").string());
    {
        TMainForm form({});
        form.resize(800, 600);
        form.show();
        form.OpenFile(QString::fromStdString((files / "one.bmp").string()), 5);
        form.OpenFile(QString::fromStdString((files / "two.bmp").string()), 3);
        guard.dialogs->saveAnswers.push_back(setting);
        form.SaveSettingFile();
        form.MdiArea()->closeAllSubWindows();
    }
    const auto entries = vtl::app::ParseSettingFile(ReadFile(files / "pair.vtl"));
    ASSERT_TRUE(entries.has_value());
    ASSERT_EQ(entries->size(), 2u);
    EXPECT_EQ((*entries)[0].path, (files / "one.bmp").string());
    EXPECT_EQ((*entries)[0].zoomIndex, 5);
    EXPECT_EQ((*entries)[1].zoomIndex, 3);

    TMainForm form({});
    form.LoadSettingFile(setting);
    ASSERT_EQ(form.Children().size(), 2);
    EXPECT_EQ(form.Children()[0]->windowTitle(), QStringLiteral("one.bmp"));
    form.MdiArea()->closeAllSubWindows();
}
