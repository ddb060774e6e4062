// Every item of the frame's menu bar, and of a document's for pictures of 24, 8, 4 and 1 bits,
// chosen as the user chooses it: its menus opened first, then the item if it can be reached. A
// table says for each item whether it can be reached on a freshly opened picture and what the
// user then sees; an item the table doesn't know fails the test, so that a new item gets its
// expectation too.
#include "app/ui/main_form.h"
#include "browse/ui/arc_form.h"
#include "browse/ui/flist_form.h"
#include "document/ui/image_view.h"
#include "document/ui/mdi_child.h"
#include "input/ui/loading_pipeline.h"
#include "support/document_fixture.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QStatusBar>
#include <QUrl>
#include <functional>
#include <map>

using vtl::platform::TBitmap;
using vtl::platform::TPixelFormat;
using vtl::platform::qt::MsgResult;
using vtl::testing::CommandTest;
using vtl::testing::Pattern;
using vtl::testing::SamePixels;
using vtl::testing::TMDIChild;

namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

// Catches any request to open a file in the desktop's browser, so that none reaches a real one.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void Open(const QUrl& url) { opened << url; }
};

// The items of a menu bar, depth first, each with the menus that lead to it.
struct Reachable {
    QAction* item;
    QList<QMenu*> path;
};
void Collect(QMenu* menu, QList<QMenu*> path, std::vector<Reachable>& out)
{
    path << menu;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator() || a->objectName().isEmpty())
            continue;
        if (a->menu())
            Collect(a->menu(), path, out);
        else
            out.push_back({ a, path });
    }
    // Items laid out in a grid inside the menu (the line colours).
    for (QAction* a : menu->findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly))
        if (!a->objectName().isEmpty() && !menu->actions().contains(a) && !a->menu())
            out.push_back({ a, path });
}
std::vector<Reachable> Items(QMenuBar* bar)
{
    std::vector<Reachable> out;
    for (QAction* top : bar->actions())
        if (top->menu())
            Collect(top->menu(), {}, out);
    return out;
}
// Opens the menus on the way, as the user does, and says whether the item can be chosen.
bool Open(const Reachable& r)
{
    for (QMenu* m : r.path) {
        if (!m->menuAction()->isEnabled() || !m->menuAction()->isVisible())
            return false;
        emit m->aboutToShow();
    }
    return r.item->isEnabled() && r.item->isVisible();
}

class EveryMenuItemTest : public CommandTest {
public:
    void SetUp() override
    {
        CommandTest::SetUp();
        qputenv("VTL_TWAIN_DSM", QByteArray::fromStdString((m_dir / "no-manager.so").string()));
        MakeForm();
        QDesktopServices::setUrlHandler("file", &m_urls, "Open");
        QGuiApplication::clipboard()->setText("no picture");
    }
    void TearDown() override
    {
        QDesktopServices::unsetUrlHandler("file");
        qunsetenv("VTL_TWAIN_DSM");
        CommandTest::TearDown();
    }
    // Every question is answered with its cancel: a message box with OK, a file dialog with
    // nothing, a dialog with Rejected. What was asked is what the test then looks at.
    void AnswerEverythingWithCancel()
    {
        auto& d = *m_guard.dialogs;
        d.messageAnswers.assign(8, MsgResult::Ok);
        d.openAnswers.assign(4, std::nullopt);
        d.saveAnswers.assign(4, std::nullopt);
        d.fontAnswers.assign(4, std::nullopt);
        d.dialogAnswers.clear();
        for (int i = 0; i < 4; ++i)
            d.dialogAnswers.push_back([](QDialog&) { return int(QDialog::Rejected); });
        d.messages.clear();
        d.fileDialogs.clear();
        d.dialogsShown.clear();
    }
    bool Shown(const char* dialog) const
    {
        return !m_guard.dialogs->dialogsShown.empty()
            && m_guard.dialogs->dialogsShown.back() == QString::fromUtf8(dialog);
    }
    bool FileDialog(const char* title) const
    {
        return !m_guard.dialogs->fileDialogs.empty()
            && m_guard.dialogs->fileDialogs.back().title == QString::fromUtf8(title);
    }
    bool Message(const char* part) const
    {
        return !m_guard.dialogs->messages.empty()
            && m_guard.dialogs->messages.back().text.contains(QString::fromUtf8(part));
    }
    TMDIChild* ActiveDocument() const
    {
        return dynamic_cast<TMDIChild*>(m_form->MdiArea()->activeSubWindow());
    }
    vtl::app::ui::TMainForm& Frame() { return *m_form; }
    // The program's own help window stands open.
    bool HelpShown() const
    {
        auto* help = m_form->findChild<QWidget*>("HelpForm");
        return help && help->isVisible();
    }

    UrlCatcher m_urls;
};

TEST_F(EveryMenuItemTest, FrameWithoutChildren)
{
    int children = 0;
    const std::map<QString, std::function<bool()>> effects = {
        { "FileNewItem", [&] { return m_form->Children().size() == children + 1; } },
        { "FileOpenItem", [&] { return FileDialog("画像/アーカイブの読み込み"); } },
        { "SetOpen", [&] { return FileDialog("設定ファイルの読み込み"); } },
        { "ScanImage", [&] { return Message("TWAIN"); } },
        { "SelectDevice", [&] { return Message("TWAIN"); } },
        { "SumMenu", [&] { return m_form->thumbnailBrowser != nullptr; } },
        { "ToolBar1", [&] { return !m_form->Panel1()->isVisible(); } },
        { "StatusBar1", [&] { return !m_form->statusBar()->isVisible(); } },
        { "Option1", [&] { return Shown("OptionDlg"); } },
        { "Filter1", [&] { return Shown("UFilDlg"); } },
        { "Kanren", [&] { return Shown("SpiRegDlg"); } },
        // The window commands with no window: nothing to arrange, and nothing breaks.
        { "V1", [] { return true; } },
        { "WindowTileItem", [] { return true; } },
        { "WindowCascadeItem", [] { return true; } },
        { "WindowMinimizeItem", [] { return true; } },
        { "WindowArrangeItem", [] { return true; } },
        { "SearchforHelpOn1", [&] { return HelpShown(); } },
        { "HelpAboutItem", [&] { return Shown("AboutBox"); } },
        { "FileExitItem", [&] { return !m_form->isVisible(); } },
    };
    std::vector<Reachable> items = Items(m_form->menuBar());
    // 終了 last: it ends the frame.
    std::stable_partition(items.begin(), items.end(),
        [](const Reachable& r) { return r.item->objectName() != "FileExitItem"; });
    for (const Reachable& r : items) {
        const QString name = r.item->objectName();
        SCOPED_TRACE(name.toStdString());
        auto effect = effects.find(name);
        ASSERT_NE(effect, effects.end()) << "no expectation for this item";
        for (QMdiSubWindow* w : m_form->Children())
            delete w;
        children = int(m_form->Children().size());
        ASSERT_TRUE(Open(r));
        AnswerEverythingWithCancel();
        r.item->trigger();
        QCoreApplication::processEvents();
        EXPECT_TRUE(effect->second());
        for (const auto& m : m_guard.dialogs->messages)
            if (!QString(m.text).contains("TWAIN") && !m.text.contains(U("デバイス")))
                ADD_FAILURE() << "unexpected message " << m.text.toStdString();
        if (name == "ToolBar1" || name == "StatusBar1")
            r.item->trigger(); // shown again for the items after it
    }
}

// The browser and an archive window, each opened afresh for every item with its first thumbnail
// selected.
struct ChildExpect {
    bool reachable;
    std::function<bool()> effect;
};
void RunChildTable(EveryMenuItemTest& test, const std::function<QMdiSubWindow*()>& open,
    const std::map<QString, ChildExpect>& table, const std::function<void()>& reset)
{
    std::vector<QString> names;
    {
        reset();
        QMdiSubWindow* window = open();
        ASSERT_NE(window, nullptr);
        for (const Reachable& r : Items(test.Frame().menuBar()))
            names.push_back(r.item->objectName());
    }
    std::stable_partition(
        names.begin(), names.end(), [](const QString& n) { return n != "FileExitItem"; });
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        auto expect = table.find(name);
        ASSERT_NE(expect, table.end()) << "no expectation for this item";
        reset();
        ASSERT_NE(open(), nullptr);
        const std::vector<Reachable> now = Items(test.Frame().menuBar());
        auto found = std::find_if(now.begin(), now.end(),
            [&](const Reachable& r) { return r.item->objectName() == name; });
        ASSERT_NE(found, now.end());
        test.AnswerEverythingWithCancel();
        const bool reachable = Open(*found);
        EXPECT_EQ(reachable, expect->second.reachable);
        if (!reachable)
            continue;
        found->item->trigger();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(expect->second.effect());
    }
}

TEST_F(EveryMenuItemTest, BrowserAndArchiveWindow)
{
    const auto folder = m_dir / "pics";
    std::filesystem::create_directories(folder);
    Pattern(30, 20).SaveToFile(folder / "a.bmp");
    Pattern(40, 20).SaveToFile(folder / "b.bmp");
    QPointer<vtl::browse::ui::TFlistForm> browser;
    auto reset = [this] {
        for (QMdiSubWindow* w : m_form->Children())
            delete w;
        QCoreApplication::processEvents();
        if (!m_form->isVisible())
            m_form->show();
    };
    auto openBrowser = [&]() -> QMdiSubWindow* {
        m_form->Item("SumMenu")->setChecked(false);
        m_form->Item("SumMenu")->trigger();
        browser = qobject_cast<vtl::browse::ui::TFlistForm*>(m_form->thumbnailBrowser.data());
        if (!browser || !browser->SelectFolder(QString::fromStdString(folder.string())))
            return nullptr;
        browser->SelectIndex(0);
        return browser;
    };
    auto windowItems = [this](std::function<QMdiSubWindow*()> window) {
        auto fills = [this, window] {
            return window() && window()->geometry() == m_form->MdiArea()->viewport()->rect();
        };
        return std::map<QString, ChildExpect> {
            { "V1", { true, fills } },
            { "WindowTileItem", { true, fills } },
            { "WindowCascadeItem",
                { true,
                    [this, window] {
                        return window()
                            && window()->width() >= m_form->MdiArea()->viewport()->width() / 2;
                    } } },
            { "WindowMinimizeItem",
                { true, [window] { return window() && window()->isMinimized(); } } },
            // Nothing minimised: nothing moves.
            { "WindowArrangeItem",
                { true, [window] { return window() && !window()->isMinimized(); } } },
            { "SearchforHelpOn1", { true, [this] { return HelpShown(); } } },
            { "HelpAboutItem", { true, [this] { return Shown("AboutBox"); } } },
            { "FileExitItem", { true, [this] { return !m_form->isVisible(); } } },
            { "FileNewItem",
                { true,
                    [this] { return ActiveDocument() && ActiveDocument()->Picture().Empty(); } } },
            // The browsers show the frame's own scanning actions.
            { "ScanImage", { true, [this] { return Message("TWAIN"); } } },
            { "SelectDevice", { true, [this] { return Message("TWAIN"); } } },
            { "Q1", { true, [this] { return Message("TWAIN"); } } },
            { "L1", { true, [this] { return Message("TWAIN"); } } },
        };
    };

    auto browserTable = windowItems([&] { return browser.data(); });
    browserTable.insert({
        { "FileOpenItem", { true, [&] { return FileDialog("画像/アーカイブの読み込み"); } } },
        { "SetOpen", { true, [&] { return FileDialog("設定ファイルの読み込み"); } } },
        { "SumMenu", { true, [&] { return browser.isNull(); } } },
        // Deleting asks first; the answer that is not yes keeps the file.
        { "Delete1",
            { true,
                [&] { return Message("a.bmp") && std::filesystem::exists(folder / "a.bmp"); } } },
        { "EMode", { true, [&] { return browser && browser->Thumbs().EditMode(); } } },
    });
    RunChildTable(*this, openBrowser, browserTable, reset);

    // An archive of the same pictures, read by the program's own archive plug-in.
    const std::string zip = (m_dir / "set.zip").string();
    const std::string command
        = "cd '" + folder.string() + "' && bsdtar -a -cf '" + zip + "' a.bmp b.bmp 2>/dev/null";
    if (std::system(command.c_str()) != 0)
        GTEST_SKIP() << "bsdtar (libarchive-tools) is not installed";
    QPointer<vtl::browse::ui::TArcForm> archive;
    auto openArchive = [&]() -> QMdiSubWindow* {
        std::remove((zip + ".snx").c_str());
        archive = qobject_cast<vtl::browse::ui::TArcForm*>(
            m_form->OpenFile(QString::fromStdString(zip), 3));
        if (archive)
            archive->SelectIndex(0);
        return archive;
    };
    auto archiveTable = windowItems([&] { return archive.data(); });
    archiveTable.insert({
        { "FileOpenItem",
            { true,
                [&] { return ActiveDocument() && ActiveDocument()->Picture().Width() == 30; } } },
        { "SetOpen", { true, [&] { return FileDialog("画像/アーカイブの読み込み"); } } },
        { "Save2",
            { true,
                [&] {
                    return !m_guard.dialogs->fileDialogs.empty()
                        && m_guard.dialogs->fileDialogs.back().fileName == "a.bmp";
                } } },
        { "Save1", { true, [&] { return std::filesystem::exists(zip + ".snx"); } } },
        { "FileCloseItem", { true, [&] { return archive.isNull(); } } },
        { "SumMenu",
            { true,
                [&] {
                    return archive
                        && archive->findChild<QAction*>("SumMenu")->isChecked()
                        == m_form->Item("SumMenu")->isChecked();
                } } },
        { "Delete1", { true, [&] { return archive && archive->Members().size() == 1; } } },
    });
    if (!openArchive())
        GTEST_SKIP() << "the program's archive plug-in was not built";
    RunChildTable(*this, openArchive, archiveTable, reset);
}

// What a document's item does on a freshly opened picture of each depth.
struct Case {
    TPixelFormat format;
    const char* name;
};

class DocumentMenuTest : public EveryMenuItemTest, public ::testing::WithParamInterface<Case> {
protected:
    TBitmap Picture() const
    {
        TBitmap p = Pattern(24, 16);
        if (GetParam().format == TPixelFormat::pf24bit)
            return p;
        TBitmap reduced(24, 16, GetParam().format);
        const size_t colours = GetParam().format == TPixelFormat::pf1bit ? 2
            : GetParam().format == TPixelFormat::pf4bit                  ? 16
                                                                         : 256;
        std::vector<vtl::platform::PaletteEntry> palette(colours);
        for (size_t i = 0; i < colours; ++i)
            palette[i] = { uint8_t(i * 255 / (colours - 1)), uint8_t(i * 37), uint8_t(255 - i), 0 };
        reduced.SetPalette(palette);
        // Runs of eight pixels, which RLE compresses at every depth, and corners that differ, so
        // that every rotation and flip changes the picture.
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 24; ++x)
                reduced.SetRawPixel(x, y, uint32_t((x / 8 + 3 * (y / 2)) % colours));
        reduced.SetRawPixel(0, 0, (reduced.RawPixel(23, 15) + 1) % colours);
        return reduced;
    }
};

TEST_P(DocumentMenuTest, EveryItemDoesWhatItSays)
{
    const TPixelFormat format = GetParam().format;
    const bool deep = format == TPixelFormat::pf24bit;
    const bool bits8 = format == TPixelFormat::pf8bit;
    const bool bits1 = format == TPixelFormat::pf1bit;
    // The format-dependent commands of a freshly opened picture (an item "the same" as before
    // stays as the menu was built: off).
    const bool filters = deep || bits8;
    const bool dc256 = deep;
    const bool dc240 = (deep || bits8) && m_form->AppSettings().show240; // hidden unless asked for
    const bool mono = !bits1;
    const bool dc16 = deep || bits8;

    const TBitmap original = Picture();
    const std::string file = (m_dir / "picture.bmp").string();
    original.SaveToFile(file);
    TMDIChild* doc = nullptr;
    auto reopen = [&] {
        for (QMdiSubWindow* w : m_form->Children())
            delete w;
        m_form->Item("MojiBtn")->setChecked(false);
        m_form->Item("LineBtn")->setChecked(false);
        doc = dynamic_cast<TMDIChild*>(m_form->OpenFile(QString::fromStdString(file), 3));
    };
    auto changed = [&] {
        return doc && doc->ModifiedCount() == 1 && !SamePixels(doc->Picture(), original)
            && SamePixels(doc->UndoPicture(), original) && doc->Item("Undo1")->isEnabled();
    };
    auto untouched
        = [&] { return doc && doc->ModifiedCount() == 0 && SamePixels(doc->Picture(), original); };
    struct Expect {
        bool reachable;
        std::function<bool()> effect;
        std::function<void()> prepare = [] {};
    };
    auto dialog = [&](const char* name) {
        return [this, name, &untouched] { return Shown(name) && untouched(); };
    };
    auto lineColour = [&](int n) {
        return Expect { true, [this, n] { return m_form->AppSettings().lineColor == n; } };
    };
    auto lineWidth = [&](int w) {
        return Expect { true, [this, w] { return m_form->AppSettings().lineSize == w; } };
    };
    auto zoom = [&](int i) {
        return Expect { true, [this, i, &doc] {
                           return doc->ZoomIndex == i && m_form->RateBox()->currentIndex() == i
                               && doc->Image1()->width() == vtl::document::ui::ZoomedLength(24, i);
                       } };
    };
    const std::map<QString, Expect> table = {
        { "FileNewItem", { true, [&] { return m_form->Children().size() == 2; } } },
        { "FileOpenItem", { true, [&] { return FileDialog("画像/アーカイブの読み込み"); } } },
        { "SetOpen", { true, [&] { return FileDialog("設定ファイルの読み込み"); } } },
        { "FileCloseItem", { true, [&] { return m_form->Children().isEmpty(); } } },
        { "Z1", { true, [&] { return m_form->Children().isEmpty(); } } },
        { "Q1", { true, [&] { return Message("TWAIN"); } } },
        { "L3", { true, [&] { return Message("TWAIN"); } } },
        { "FileSaveAsItem", { true, [&] { return FileDialog("画像の保存"); } } },
        { "SetSave", { true, [&] { return FileDialog("設定ファイルの保存"); } } },
        { "PalSaveAsItem", { false, nullptr } },
        { "PrintItem", { true, dialog("PrintDialog1") } },
        { "SumMenu", { true, [&] { return m_form->thumbnailBrowser != nullptr; } } },
        { "FileExitItem", { true, [&] { return !m_form->isVisible(); } } },
        { "Undo1", { false, nullptr } },
        { "Copy1", { true, [&] { return untouched(); } } },
        { "SCopyItem", { false, nullptr } },
        { "RCopyItem", { false, nullptr } },
        { "Paste1", { false, nullptr } },
        { "DC256", { dc256, dialog("D256Dlg") } },
        { "DC240", { dc240, changed } },
        { "DC16", { dc16, dialog("D16Dlg") } },
        { "Mono1", { mono, changed } },
        { "Mono2", { mono, dialog("SMonoDlg") } },
        { "Cxor1", { true, changed } },
        { "L1", { true, [&] { return changed() && doc->Picture().Width() == 16; } } },
        { "R1", { true, [&] { return changed() && doc->Picture().Width() == 16; } } },
        { "N180R1", { true, changed } },
        { "R2", { true, changed } },
        { "N15", { true, dialog("InputDlg") } },
        { "GLM1", { true, dialog("GScaleDlg") } },
        { "ClpMnu", { true, dialog("ClpDlg") } },
        { "ConnectItem", { true, dialog("ConnectDlg") } },
        { "SelPalItem", { false, nullptr } },
        { "InsStr", { true, [&] { return m_form->Item("MojiBtn")->isChecked(); } } },
        { "FontMnu2", { true, [&] { return !m_guard.dialogs->fontsOffered.empty(); } } },
        { "InsLine", { true, [&] { return m_form->Item("LineBtn")->isChecked(); } } },
        { "c0", lineColour(0) },
        { "c1", lineColour(1) },
        { "c2", lineColour(2) },
        { "c3", lineColour(3) },
        { "c4", lineColour(4) },
        { "c5", lineColour(5) },
        { "c6", lineColour(6) },
        { "c7", lineColour(7) },
        { "c8", lineColour(8) },
        { "c9", lineColour(9) },
        { "c10", lineColour(10) },
        { "c11", lineColour(11) },
        { "c12", lineColour(12) },
        { "c13", lineColour(13) },
        { "c14", lineColour(14) },
        { "c15", lineColour(15) },
        { "lw1", lineWidth(1) },
        { "lw3", lineWidth(3) },
        { "lw5", lineWidth(5) },
        { "lw10", lineWidth(10) },
        { "TitleItem", { true, dialog("InputDlg") } },
        { "Wall1",
            { true,
                [&] { return std::filesystem::exists(m_dir / "vtlsaved.bmp") && untouched(); } } },
        { "S25", zoom(0) },
        { "S50", zoom(1) },
        { "S75", zoom(2) },
        { "S100", zoom(3) },
        { "S150", zoom(4) },
        { "S200", zoom(5) },
        { "S400", zoom(6) },
        { "S800", zoom(7) },
        { "SFit", zoom(3) }, // the window already holds 24 x 16 at 100 %, and no more rows
        { "Info1",
            { true,
                [&] {
                    return QGuiApplication::clipboard()->text()
                        == "<img src=\"picture.bmp\" width=24 height=16>";
                } } },
        { "ToolBar1", { true, [&] { return !m_form->Panel1()->isVisible(); } } },
        { "StatusBar1", { true, [&] { return !m_form->statusBar()->isVisible(); } } },
        { "V1",
            { true, [&] { return doc->geometry() == m_form->MdiArea()->viewport()->rect(); } } },
        { "WindowTileItem",
            { true, [&] { return doc->geometry() == m_form->MdiArea()->viewport()->rect(); } } },
        { "WindowCascadeItem",
            { true,
                [&] {
                    return !doc->isMaximized()
                        && doc->width() >= m_form->MdiArea()->viewport()->width() / 2;
                },
                [&] { doc->showMaximized(); } } },
        { "WindowMinimizeItem", { true, [&] { return doc->isMinimized(); } } },
        { "WindowArrangeItem",
            { true,
                [&] {
                    return doc->geometry().bottom()
                        == m_form->MdiArea()->viewport()->rect().bottom();
                },
                [&] {
                    doc->showMinimized();
                    doc->move(40, 10);
                } } },
        { "SearchforHelpOn1",
            { true, [&] { return HelpShown(); },
                [&] {
                    if (auto* help = m_form->findChild<QWidget*>("HelpForm"))
                        help->close();
                } } },
        { "HelpAboutItem", { true, dialog("AboutBox") } },
        { "Option1", { true, dialog("OptionDlg") } },
        { "Filter2", { true, dialog("UFilDlg") } },
        { "L2", { true, dialog("SpiRegDlg") } },
        { "Mosaic1", { filters, dialog("InputDlg") } },
        { "Gauss2", { filters, changed } },
        { "Gauss3", { filters, changed } },
        { "Sharp1", { filters, changed } },
        { "Sepia2", { filters, changed } },
        { "Sepia3", { filters, changed } },
        { "Sepia4", { filters, changed } },
        { "Median1", { filters, changed } },
        { "Oil2", { filters, changed } },
        { "Oil3", { filters, changed } },
        { "enboss1", { filters, dialog("embDlg") } },
        { "Gray1", { filters, changed } },
        { "Edge1", { filters, changed } },
        { "Edge2", { filters, changed } },
        { "ChgRgb", { filters, dialog("HsiDialog") } },
        { "ChgHsi", { filters, dialog("HsiDialog") } },
        // Without user filters the popup has nothing to offer.
        { "N14", { filters, untouched } },
    };

    reopen();
    ASSERT_NE(doc, nullptr);
    std::vector<Reachable> items = Items(m_form->menuBar());
    ASSERT_FALSE(items.empty());
    std::stable_partition(items.begin(), items.end(),
        [](const Reachable& r) { return r.item->objectName() != "FileExitItem"; });
    std::vector<QString> names;
    for (const Reachable& r : items)
        names.push_back(r.item->objectName());
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        auto expect = table.find(name);
        ASSERT_NE(expect, table.end()) << "no expectation for this item";
        reopen();
        std::remove((m_dir / "vtlsaved.bmp").string().c_str());
        QGuiApplication::clipboard()->setText("no picture");
        // The menus of this document, found again: each document has menus of its own.
        const std::vector<Reachable> now = Items(m_form->menuBar());
        auto found = std::find_if(now.begin(), now.end(),
            [&](const Reachable& r) { return r.item->objectName() == name; });
        ASSERT_NE(found, now.end());
        AnswerEverythingWithCancel();
        m_guard.dialogs->fontsOffered.clear();
        const bool reachable = Open(*found);
        EXPECT_EQ(reachable, expect->second.reachable);
        if (!reachable)
            continue;
        expect->second.prepare();
        found->item->trigger();
        QCoreApplication::processEvents();
        EXPECT_TRUE(expect->second.effect());
        for (const auto& m : m_guard.dialogs->messages)
            if (m.icon == vtl::platform::qt::MsgIcon::Error)
                ADD_FAILURE() << "error " << m.text.toStdString();
        if (name == "ToolBar1" || name == "StatusBar1")
            m_form->Item(name)->trigger();
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, DocumentMenuTest,
    ::testing::Values(Case { TPixelFormat::pf24bit, "24" }, Case { TPixelFormat::pf8bit, "8" },
        Case { TPixelFormat::pf4bit, "4" }, Case { TPixelFormat::pf1bit, "1" }),
    [](const ::testing::TestParamInfo<Case>& param) {
        return std::string("Bits") + param.param.name;
    });

} // namespace

#include "every_menu_item_test.moc"
