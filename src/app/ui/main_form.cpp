#include "app/ui/main_form.h"
#include "app/ui/main_form_texts.h"
#include "processing/ui/processing_commands.h"

#include "app/setting_file.h"
#include "app/ui/about_box.h"
#include "app/ui/colour_menu.h"
#include "app/ui/image_lists.h"
#include "document/ui/mdi_child.h"
#include "input/ui/loading_pipeline.h"
#include "input/ui/option_dialog.h"
#include "platform/environment.h"
#include "platform/qt/clipboard.h"
#include "platform/qt/dialog_service.h"
#include "platform/qt/screens.h"
#include "processing/palette_file.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidgetAction>
#include <cstdio>

namespace vtl::app::ui {

using platform::qt::Dialogs;
using platform::qt::FileDialogOptions;
using platform::qt::MsgButtons;
using platform::qt::MsgIcon;
using platform::qt::MsgResult;
using namespace texts;

namespace {
    const char* const kZoomCaptions[]
        = { "25%", "50%", "75%", "100%", "150%", "200%", "400%", "800%" };

    struct ColourItem {
        int number;
        const char* caption;
    };
    // Menu order: the first column ends with grey, the second begins with silver.
    const ColourItem kColourItems[] = { { 0, "黒" }, { 1, "茶色" }, { 2, "緑" }, { 3, "オリーブ" },
        { 4, "紺" }, { 5, "紫" }, { 6, "青緑" }, { 8, "灰色" }, { 7, "銀色" }, { 9, "赤" },
        { 10, "黄緑" }, { 11, "黄" }, { 12, "青" }, { 13, "赤紫" }, { 14, "水色" }, { 15, "白" } };

    QString Str(const std::string& s) { return QString::fromStdString(s); }

    constexpr QSize kToolButtonSize(23, 22);

    // A gap between tool buttons, where the tool bar has a separator rather than a divider.
    void AddGap(QToolBar* bar)
    {
        auto* gap = new QWidget(bar);
        gap->setFixedWidth(8);
        bar->addWidget(gap);
    }
}

TMainForm::TMainForm(QStringList arguments, QWidget* parent)
    : QMainWindow(parent)
    , m_arguments(std::move(arguments))
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QString::fromUtf8(kCaption));
    setWindowIcon(ApplicationIcon());

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_panel1 = new QWidget(central);
    m_panel1->setObjectName(QStringLiteral("Panel1"));
    auto* panelLayout = new QHBoxLayout(m_panel1);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    m_toolBar = new QToolBar(m_panel1);
    m_toolBar->setObjectName(QStringLiteral("ToolBar"));
    m_toolBar->setIconSize(QSize(16, 16));
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->setContentsMargins(6, 0, 0, 0); // indent 6
    m_toolBar->layout()->setSpacing(0);
    panelLayout->addWidget(m_toolBar);
    layout->addWidget(m_panel1);
    m_mdiArea = new QMdiArea(central);
    m_mdiArea->setObjectName(QStringLiteral("ClientArea"));
    m_mdiArea->setBackground(palette().dark());
    // Children may stand beyond the client area (a big picture at 200 %): it scrolls to them.
    m_mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // A move over the frame clears the status panel, with or without a button held.
    for (QWidget* w : { static_cast<QWidget*>(this), central, static_cast<QWidget*>(m_mdiArea),
             m_mdiArea->viewport() })
        w->setMouseTracking(true);
    layout->addWidget(m_mdiArea, 1);
    setCentralWidget(central);

    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->setSizeGripEnabled(true);
    m_statusPanel = new QLabel(statusBar());
    m_statusPanel->setObjectName(QStringLiteral("StatusPanel0"));
    statusBar()->addWidget(m_statusPanel, 1);

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setSingleShot(false);
    connect(
        m_timer1, &QTimer::timeout, this, platform::qt::Guarded(this, [this] { Timer1Timer(); }));

    BuildPopupMenu3();
    BuildMenus();
    BuildToolBar();
    connect(m_mdiArea, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* active) {
        if (!active)
            return; // the frame itself lost focus: the child stays the active one
        if (m_activeChild == active)
            return;
        if (auto* previous = dynamic_cast<FrameChild*>(m_activeChild.data()))
            previous->FormDeactivate();
        m_activeChild = active;
        MergeMenus(active);
        if (auto* child = dynamic_cast<FrameChild*>(active))
            child->FormActivate();
        UpdatePasteState();
    });
    // The clipboard's change notice keeps the paste command current.
    connect(
        QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &TMainForm::UpdatePasteState);
    FormCreate();
}

TMainForm::~TMainForm() { FormDestroy(); }

QAction* TMainForm::MakeItem(
    const QString& name, const QString& caption, const QString& hint, int image)
{
    auto* action = new QAction(caption, this);
    action->setObjectName(name);
    action->setStatusTip(hint);
    if (image >= 0)
        action->setIcon(ToolImage(image));
    m_items.insert(name, action);
    return action;
}

QAction* TMainForm::MakeButton(
    const QString& name, const QString& hint, int image, bool check, bool enabled)
{
    auto* action = new QAction(ToolImage(image), hint, this);
    action->setObjectName(name);
    action->setToolTip(hint);
    action->setStatusTip(QString()); // the hint ends with "|": the status bar shows nothing
    action->setCheckable(check);
    action->setEnabled(enabled);
    m_items.insert(name, action);
    m_toolBar->addAction(action);
    // Buttons of 23 x 22 pixels round 16-pixel images, so that every tool shows in the default
    // 640-pixel frame.
    if (QWidget* button = m_toolBar->widgetForAction(action))
        button->setFixedSize(kToolButtonSize);
    return action;
}

QAction* TMainForm::Item(const QString& name) const { return m_items.value(name, nullptr); }

void TMainForm::BuildMenus()
{
    auto* bar = menuBar();
    auto menu = [&](const char* name, const char* caption, const char* hint) {
        QMenu* m = bar->addMenu(QString::fromUtf8(caption));
        m->setObjectName(QString::fromUtf8(name));
        m->menuAction()->setObjectName(QString::fromUtf8(name));
        m->menuAction()->setStatusTip(QString::fromUtf8(hint));
        m_items.insert(QString::fromUtf8(name), m->menuAction());
        // Leaving a menu clears the status panel.
        connect(m, &QMenu::aboutToHide, this, [this] { SetStatusText(QString()); });
        m_frameMenus << m;
        return m;
    };
    auto item = [&](QMenu* m, const char* name, const char* caption, const char* hint, int image,
                    void (TMainForm::*handler)(), QKeySequence shortcut = {}) {
        QAction* a = MakeItem(
            QString::fromUtf8(name), QString::fromUtf8(caption), QString::fromUtf8(hint), image);
        a->setShortcut(shortcut);
        connect(a, &QAction::triggered, this,
            platform::qt::Guarded(this, [this, handler] { (this->*handler)(); }));
        m->addAction(a);
        return a;
    };

    QMenu* file = menu("File1", "ファイル(&F)", "ファイル操作に関するコマンドです。");
    item(file, "FileNewItem", "新規作成(&N)", "新規画像を作成します。", 16,
        &TMainForm::FileNewItemClick, QKeySequence(Qt::CTRL | Qt::Key_N));
    item(file, "FileOpenItem", "開く(&O)", "既存の画像を開きます。", 15,
        &TMainForm::FileOpenItemClick, QKeySequence(Qt::CTRL | Qt::Key_O));
    item(file, "SetOpen", "設定を開く(&E)", "保存した設定を開きます。", -1,
        &TMainForm::SetOpenClick);
    file->addSeparator();
    // The two scanning actions; the tool button ScanBtn shares the first.
    QAction* scan = item(file, "ScanImage", "イメージの取得(&Q)",
        "スキャナよりイメージを取得します。", 38, &TMainForm::ScanImageExecute);
    m_items.insert(QStringLiteral("ScanImageMenu"), scan);
    QAction* device = item(file, "SelectDevice", "デバイスの選択(&L)...",
        "TWAINデバイスを選択します。", -1, &TMainForm::SelectDeviceExecute);
    m_items.insert(QStringLiteral("SelectDeviceMenu"), device);
    file->addSeparator();
    item(file, "SumMenu", "サムネイル(&S)", "フォルダリストとサムネイルを表示します。", 17,
        &TMainForm::SumMenuClick)
        ->setCheckable(true);
    file->addSeparator();
    item(file, "FileExitItem", "終了(&X)", "アプリケーションを終了します。", 14,
        &TMainForm::FileExitItemClick);

    QMenu* view = menu("Show1", "表示(&E)", "画像の表示に関するコマンドです。");
    QAction* toolBar = item(view, "ToolBar1", "ツールバー(&T)",
        "ツールバーの表示/非表示を設定します。", -1, &TMainForm::ToolBar1Click);
    toolBar->setCheckable(true);
    toolBar->setChecked(true);
    QAction* status = item(view, "StatusBar1", "ステータスバー(&B)",
        "ステータスバーの表示/非表示を設定します。", -1, &TMainForm::StatusBar1Click);
    status->setCheckable(true);
    status->setChecked(true);
    view->addSeparator();
    item(view, "Option1", "オプション(&O)...", "オプションを設定します。", 18,
        &TMainForm::Option1Click);
    item(view, "Filter1", "フィルタ設定(&U)...", "フィルタの値を設定します。", -1,
        &TMainForm::Filter1Click);
    item(view, "Kanren", "関連付け(&L)...", "関連付けを行います。", -1, &TMainForm::KanrenClick);

    m_windowMenu = menu("Window1", "ウインドウ(&W)", "ウインドウ操作に関するコマンドです。");
    item(m_windowMenu, "V1", "縦に並べる(&V)", "ウインドウを縦に並べます。", -1,
        &TMainForm::V1Click);
    item(m_windowMenu, "WindowTileItem", "横に並べる(&H)", "ウインドウを横に並べます。", -1,
        &TMainForm::WindowTileItemClick);
    item(m_windowMenu, "WindowCascadeItem", "重ねて表示(&C)",
        "ウインドウを重なりあうように並べ直します。", -1, &TMainForm::WindowCascadeItemClick);
    item(m_windowMenu, "WindowMinimizeItem", "すべてをアイコン化(&M)",
        "すべてのウインドウをアイコン状態にします。", -1, &TMainForm::WindowMinimizeItemClick);
    item(m_windowMenu, "WindowArrangeItem", "アイコンの整列(&A)",
        "すべてのアイコンをウインドウの下に並べ直します。", -1, &TMainForm::WindowArrangeItemClick);
    connect(m_windowMenu, &QMenu::aboutToShow, this, &TMainForm::FillWindowMenu);

    QMenu* help = menu("Help1", "ヘルプ(&H)", "ヘルプに関するコマンドです。");
    item(help, "SearchforHelpOn1", "トピックの検索(&H)", "ヘルプを開きます。", 20,
        &TMainForm::SearchforHelpOn1Click);
    help->addSeparator();
    item(help, "HelpAboutItem", "バージョン情報(&A)", "バージョン情報を表示します。", -1,
        &TMainForm::HelpAboutItemClick);

    m_filterPopUp = new QMenu(this);
    m_filterPopUp->setObjectName(QStringLiteral("FilterPopUp"));
}

void TMainForm::BuildToolBar()
{
    auto button = [&](const char* name, const char* hint, int image, bool check, bool enabled,
                      void (TMainForm::*handler)()) {
        QAction* a
            = MakeButton(QString::fromUtf8(name), QString::fromUtf8(hint), image, check, enabled);
        connect(a, &QAction::triggered, this,
            platform::qt::Guarded(this, [this, handler] { (this->*handler)(); }));
        return a;
    };
    button("ExitBtn", "終了", 14, false, true, &TMainForm::FileExitItemClick);
    m_toolBar->addSeparator();
    button("SumBtn", "サムネイル", 17, true, true, &TMainForm::SumBtnClick);
    m_toolBar->addSeparator();
    button("NewBtn", "新規", 16, false, true, &TMainForm::FileNewItemClick);
    button("OpenBtn", "開く", 15, false, true, &TMainForm::FileOpenItemClick);
    button("SaveBtn", "保存", 0, false, false, &TMainForm::SaveBtnClick);
    button("PrintBtn", "印刷", 1, false, false, &TMainForm::PrintBtnClick);
    AddGap(m_toolBar);
    // ScanBtn shows the ScanImage action's image and runs it.
    button("ScanBtn", "スキャナ", 38, false, true, &TMainForm::ScanImageExecute);
    AddGap(m_toolBar);
    button("UndoBtn", "元に戻す", 7, false, false, &TMainForm::UndoBtnClick);
    button("CopyBtn", "コピー", 3, false, false, &TMainForm::CopyItemClick);
    button("RCopyBtn", "範囲コピー", 4, false, false, &TMainForm::RCopyBtnClick);
    button("PasteBtn", "張り付け", 5, false, true, &TMainForm::PasteItemClick);
    button("DelBtn", "削除", 2, false, false, &TMainForm::DelBtnClick);
    m_toolBar->addSeparator();

    m_rateBox = new QComboBox(m_toolBar);
    m_rateBox->setObjectName(QStringLiteral("RateBox"));
    for (const char* caption : kZoomCaptions)
        m_rateBox->addItem(QString::fromUtf8(caption));
    m_rateBox->setFixedWidth(54);
    m_rateBox->setEnabled(false);
    m_rateBox->setFocusPolicy(Qt::NoFocus);
    connect(m_rateBox, &QComboBox::activated, this,
        platform::qt::Guarded(this, [this] { RateBoxChange(); }));
    m_toolBar->addWidget(m_rateBox);
    AddGap(m_toolBar);

    button("MojiBtn", "文字入力", 12, true, false, &TMainForm::MojiBtnClick);
    button("ToolButton7", "フォント", 19, false, true, &TMainForm::FontChange);
    AddGap(m_toolBar);
    button("LineBtn", "自由線", 13, true, false, &TMainForm::LineBtnClick);
    QAction* colour
        = MakeButton(QStringLiteral("ToolButton8"), QStringLiteral("線色"), 21, false, true);
    colour->setMenu(m_popupMenu3);
    if (auto* tool = qobject_cast<QToolButton*>(m_toolBar->widgetForAction(colour))) {
        tool->setPopupMode(QToolButton::MenuButtonPopup);
        tool->setFixedSize(kToolButtonSize.width() + 13, kToolButtonSize.height()); // the arrow
    }
    m_toolBar->addSeparator();
    button("BackBtn", "次のウィンドウ", 6, false, false, &TMainForm::BackBtnClick);
    button("CloseBtn", "閉じる", 8, false, false, &TMainForm::CloseBtnClick);
    AddGap(m_toolBar);
    button("LeftBtn", "前", 9, false, false, &TMainForm::LeftBtnClick);
    button("RightBtn", "次", 10, false, false, &TMainForm::RightBtnClick);
    button("playBtn", "連続表示", 11, true, false, &TMainForm::playBtnClick);
}

void TMainForm::BuildPopupMenu3()
{
    m_popupMenu3 = new QMenu(this);
    m_popupMenu3->setObjectName(QStringLiteral("PopupMenu3"));
    m_colourGroup = new QActionGroup(this);
    m_colourGroup->setExclusive(true);
    QList<QAction*> items;
    for (const ColourItem& c : kColourItems) {
        QAction* a = MakeItem(
            QStringLiteral("cp%1").arg(c.number), QString::fromUtf8(c.caption), QString(), -1);
        a->setCheckable(true);
        a->setChecked(c.number == 0);
        m_colourGroup->addAction(a);
        connect(a, &QAction::triggered, this, [this, number = c.number] { cp15Click(number); });
        items << a;
    }
    AddColourColumns(m_popupMenu3, items);
    connect(m_popupMenu3, &QMenu::aboutToShow, this, &TMainForm::PopupMenu3Change);
}

void TMainForm::FormCreate()
{
    m_workArea = platform::qt::PrimaryWorkArea();
    // The plug-in registry starts its walks at the first plug-in entry and at 0.
    m_plugins = std::make_unique<input::PluginRegistry>();
    m_paletteDisplay = platform::PaletteDisplay();
    m_rateBox->setCurrentIndex(3);
    m_textFont = font();

    vtl::app::TextFont mainFont { font().family().toStdString(), font().pointSize(), kClWindowText,
        0 };
    m_registry = std::make_unique<platform::Registry>(platform::Registry::DefaultFolder());
    m_settings = ReadSettings(*m_registry, m_workArea, mainFont);
    move(m_settings.left, m_settings.top);
    resize(m_settings.width, m_settings.height);
    ApplyTextFont();
    Item("ToolBar1")->setChecked(m_settings.toolBar);
    Item("StatusBar1")->setChecked(m_settings.statusBar);
    m_timer1->setInterval(SlideShowInterval(m_settings.wait));

    // A new user gets the program's own plug-ins registered.
    input::RegisterOwnPluginsIfMissing(m_plugins->Folders());
    // An entry of the old form is upgraded as the list is read, which marks the list changed so
    // that the upgrade is saved at exit.
    m_plugins->LoadPluginList();

    if (m_settings.twainDir.empty())
        m_settings.twainDir = platform::TempFolder();

    processing::ui::LoadUserFilters(*this);
    m_panel1->setVisible(m_settings.toolBar);
    statusBar()->setVisible(m_settings.statusBar);
    setAcceptDrops(true);
    UpdatePasteState();
}

void TMainForm::FormCloseQuery()
{
    if (!isMaximized()) {
        m_settings.top = y();
        m_settings.left = x();
        m_settings.height = height();
        m_settings.width = width();
    }
    StoreTextFont();
    WriteSettings(*m_registry, m_settings, isMaximized());
    try {
        m_registry->Flush();
        if (m_plugins->Modified())
            m_plugins->SavePluginList();
    } catch (const std::exception& e) {
        // This run's changes are lost, but the previous files are intact.
        std::fprintf(stderr, "vtl: %s\n", e.what());
    }
}

void TMainForm::FormDestroy()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    setAcceptDrops(false);
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    // Every child closes first, each asking about its own changes; a document the user keeps
    // (its save cancelled or failed) keeps the program running, and the settings are written only
    // when the frame really closes.
    bool closing = false;
    // Not while a dialog is open (the session may end under one): what it works on stays.
    if (platform::qt::DialogOpen()) {
        event->ignore();
        return;
    }
    platform::qt::RunGuarded(this, [this, &closing] {
        closing = CloseChildren();
        if (closing)
            FormCloseQuery();
    });
    if (!closing) {
        event->ignore();
        return;
    }
    event->accept();
}

bool TMainForm::event(QEvent* event)
{
    // Every hint of the program ends in the first status panel.
    if (event->type() == QEvent::StatusTip) {
        SetStatusText(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    if (event->type() == QEvent::Type(QEvent::User + kWmAppSavePalette)) {
        const int count = static_cast<PaletteSaveEvent*>(event)->count;
        platform::qt::RunGuarded(this, [this, count] { SavePickedPalette(count); });
        return true;
    }
    // The first showing counts as the first activation: a window manager may never activate a
    // window (a virtual display has none).
    if (event->type() == QEvent::WindowActivate || (event->type() == QEvent::Show && !m_shown)) {
        m_shown = true;
        QTimer::singleShot(0, this, platform::qt::Guarded(this, [this] { HandleCommandLine(); }));
    }
    if (event->type() == QEvent::Type(QEvent::User + kWmAppRearm)) {
        if (Item("playBtn")->isChecked())
            m_timer1->start();
        return true;
    }
    return QMainWindow::event(event);
}

void TMainForm::mouseMoveEvent(QMouseEvent* event)
{
    SetStatusText(QString());
    QMainWindow::mouseMoveEvent(event);
}

void TMainForm::SetStatusText(const QString& text)
{
    // Progress repeats the same text many times between two percentages: paint only changes.
    if (text == m_statusPanel->text())
        return;
    m_statusPanel->setText(text);
    // Painted at once, as long work shows its progress here while the event loop waits; but not
    // more often than the eye can follow, so that the progress doesn't slow the work it reports.
    if (!m_statusPainted.isValid() || m_statusPainted.elapsed() >= 40 || text.isEmpty()) {
        m_statusPanel->repaint();
        m_statusPainted.start();
    }
}

QString TMainForm::StatusText() const { return m_statusPanel->text(); }

void TMainForm::ApplyTextFont()
{
    const auto& f = m_settings.font;
    m_textFont = font();
    if (!f.name.empty())
        m_textFont.setFamily(Str(f.name));
    m_textFont.setPointSize(f.size);
    m_textFont.setBold(f.style & kFontBold);
    m_textFont.setItalic(f.style & kFontItalic);
    m_textFont.setUnderline(f.style & kFontUnderline);
    m_textFont.setStrikeOut(f.style & kFontStrikeOut);
}

void TMainForm::StoreTextFont()
{
    auto& f = m_settings.font;
    f.name = m_textFont.family().toStdString();
    if (m_textFont.pointSize() > 0)
        f.size = m_textFont.pointSize();
    f.style = (m_textFont.bold() ? kFontBold : 0) | (m_textFont.italic() ? kFontItalic : 0)
        | (m_textFont.underline() ? kFontUnderline : 0)
        | (m_textFont.strikeOut() ? kFontStrikeOut : 0);
}

QList<QMdiSubWindow*> TMainForm::Children() const
{
    return m_mdiArea->subWindowList(QMdiArea::CreationOrder);
}

} // namespace vtl::app::ui
