#include "app/ui/main_form.h"

#include "app/setting_file.h"
#include "app/ui/about_box.h"
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

namespace {
    // The frame's texts, as the user sees them.
    const char* const kCaption = "Vistrel";
    const char* const kSettingFilter = "設定ファイル|*.vtl";
    const char* const kSetOpenTitle = "設定ファイルの読み込み";
    const char* const kSetSaveTitle = "設定ファイルの保存";
    const char* const kAskSave = " は変更がありますが保存しますか?";
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

    // The private message asking the frame to save picked colours, with their count.
    struct PaletteSaveEvent : QEvent {
        explicit PaletteSaveEvent(int n)
            : QEvent(QEvent::Type(QEvent::User + kWmAppSavePalette))
            , count(n)
        {
        }
        int count;
    };

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
    panelLayout->addWidget(m_toolBar);
    layout->addWidget(m_panel1);
    m_mdiArea = new QMdiArea(central);
    m_mdiArea->setObjectName(QStringLiteral("ClientArea"));
    m_mdiArea->setBackground(palette().dark());
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
    connect(m_timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);

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
    connect(m_rateBox, &QComboBox::activated, this, &TMainForm::RateBoxChange);
    m_toolBar->addWidget(m_rateBox);
    AddGap(m_toolBar);

    button("MojiBtn", "文字入力", 12, true, false, &TMainForm::MojiBtnClick);
    button("ToolButton7", "フォント", 19, false, true, &TMainForm::FontChange);
    AddGap(m_toolBar);
    button("LineBtn", "自由線", 13, true, false, &TMainForm::LineBtnClick);
    QAction* colour
        = MakeButton(QStringLiteral("ToolButton8"), QStringLiteral("線色"), 21, false, true);
    colour->setMenu(m_popupMenu3);
    if (auto* tool = qobject_cast<QToolButton*>(m_toolBar->widgetForAction(colour)))
        tool->setPopupMode(QToolButton::MenuButtonPopup);
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
    // Two columns of eight items, each a radio item with its colour sample.
    auto* grid = new QWidget(m_popupMenu3);
    auto* layout = new QGridLayout(grid);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(0);
    for (int i = 0; i < 16; ++i) {
        const ColourItem& c = kColourItems[i];
        QString name = QStringLiteral("cp%1").arg(c.number);
        QAction* a = MakeItem(name, QString::fromUtf8(c.caption), QString(), -1);
        a->setIcon(ColourSample(c.number));
        a->setCheckable(true);
        a->setChecked(c.number == 0);
        m_colourGroup->addAction(a);
        connect(a, &QAction::triggered, this, [this, number = c.number] {
            cp15Click(number);
            m_popupMenu3->close();
        });
        auto* tool = new QToolButton(grid);
        tool->setDefaultAction(a);
        tool->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        tool->setAutoRaise(true);
        tool->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        layout->addWidget(tool, i % 8, i / 8);
    }
    auto* holder = new QWidgetAction(m_popupMenu3);
    holder->setDefaultWidget(grid);
    m_popupMenu3->addAction(holder);
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
    m_plugins->LoadPluginList();
    m_plugins->SetModified(false);

    if (m_settings.twainDir.empty())
        m_settings.twainDir = platform::TempFolder();

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
    FormCloseQuery();
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
        SavePickedPalette(static_cast<PaletteSaveEvent*>(event)->count);
        return true;
    }
    // The first showing counts as the first activation: a window manager may never activate a
    // window (a virtual display has none).
    if (event->type() == QEvent::WindowActivate || (event->type() == QEvent::Show && !m_shown)) {
        m_shown = true;
        QTimer::singleShot(0, this, &TMainForm::HandleCommandLine);
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
    m_statusPanel->setText(text);
    m_statusPanel->repaint();
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

// ---- File ----

void TMainForm::FileExitItemClick() { close(); }

QMdiSubWindow* TMainForm::OpenFile(const QString& fileName, int zoomIndex)
{
    return input::ui::OpenFile(*this, fileName, zoomIndex);
}

void TMainForm::FileNewItemClick()
{
    OpenFile(QStringLiteral("無題%1").arg(Children().size() + 1), 3);
}

void TMainForm::FileOpenItemClick()
{
    FileDialogOptions o;
    o.title = QStringLiteral("画像/アーカイブの読み込み");
    o.filter = QString::fromStdString(m_plugins->OpenFilter());
    o.multiple = true;
    auto chosen = Dialogs().OpenFileNames(this, o);
    if (!chosen)
        return;
    m_plugins->ClearFailureMarks();
    for (const QString& name : *chosen)
        OpenFile(name, 3);
}

void TMainForm::CloseAllClick()
{
    auto windows = Children();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if ((*it)->objectName() == QStringLiteral("FlistForm"))
            continue; // the thumbnail browser stays
        (*it)->close();
        QCoreApplication::processEvents();
    }
}

void TMainForm::RateBoxChange()
{
    if (auto* document = dynamic_cast<document::ui::TMDIChild*>(m_mdiArea->activeSubWindow()))
        document->SetZoom(m_rateBox->currentIndex());
}

void TMainForm::HandleCommandLine()
{
    if (m_commandLineDone)
        return;
    // "-n" defers the command line to the next activation.
    if (!m_arguments.isEmpty() && m_arguments.first() == QStringLiteral("-n"))
        return;
    m_commandLineDone = true;
    if (!m_arguments.isEmpty())
        m_plugins->ClearFailureMarks();
    for (const QString& argument : std::as_const(m_arguments)) {
        if (argument.toLower().endsWith(QStringLiteral(".vtl")))
            LoadSettingFile(argument);
        else
            OpenFile(QFileInfo(argument).absoluteFilePath(), 3);
    }
}

void TMainForm::SetOpenClick()
{
    FileDialogOptions o;
    o.title = QString::fromUtf8(kSetOpenTitle);
    o.filter = QString::fromUtf8(kSettingFilter);
    o.folder = m_setOpenFolder;
    auto chosen = Dialogs().OpenFileNames(this, o);
    if (!chosen || chosen->isEmpty())
        return;
    m_setOpenFolder = QFileInfo(chosen->first()).absolutePath();
    LoadSettingFile(chosen->first());
}

void TMainForm::LoadSettingFile(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return;
    auto entries = ParseSettingFile(file.readAll().toStdString());
    if (!entries)
        return; // not a setting file: ignored without a message
    m_plugins->ClearFailureMarks();
    for (const auto& entry : *entries) {
        QMdiSubWindow* window = OpenFile(Str(entry.path), entry.zoomIndex);
        if (!window || !entry.caption)
            continue;
        window->setWindowTitle(Str(*entry.caption));
        if (entry.bounds)
            window->setGeometry(entry.bounds->Left, entry.bounds->Top, entry.bounds->Width(),
                entry.bounds->Height());
    }
}

void TMainForm::SaveSettingFile()
{
    std::vector<SettingEntry> entries;
    for (QMdiSubWindow* window : Children()) {
        auto* document = dynamic_cast<SettingFileDocument*>(window->widget());
        if (!document)
            continue; // the thumbnail browser and archive windows are not saved
        if (document->Modified()) {
            m_mdiArea->setActiveSubWindow(window);
            auto answer = Dialogs().MessageBox(this, QStringLiteral("vtl"),
                window->windowTitle() + QString::fromUtf8(kAskSave), MsgIcon::Warning,
                MsgButtons::YesNo);
            if (answer == MsgResult::Yes)
                document->SaveAs();
        }
        if (!QFileInfo::exists(document->FileName()))
            continue;
        QRect g = window->geometry();
        entries.push_back({ document->CurrentZoomIndex(), document->FileName().toStdString(),
            window->windowTitle().toStdString(),
            platform::TRect { g.left(), g.top(), g.left() + g.width(), g.top() + g.height() } });
    }
    if (entries.empty())
        return;
    FileDialogOptions o;
    o.title = QString::fromUtf8(kSetSaveTitle);
    o.filter = QString::fromUtf8(kSettingFilter);
    o.defaultExtension = QStringLiteral("vtl");
    o.folder = m_setSaveFolder;
    auto chosen = Dialogs().SaveFileName(this, o);
    if (!chosen)
        return;
    m_setSaveFolder = QFileInfo(*chosen).absolutePath();
    QFile file(*chosen);
    const std::string text = FormatSettingFile(entries);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(text.data(), static_cast<qint64>(text.size()))
            != static_cast<qint64>(text.size()))
        platform::qt::ShowError(this, QStringLiteral("%1 に書き込めません。").arg(*chosen));
}

// The commands below are carried out by the document window, the loading pipeline, the plug-in
// options, the thumbnail browser and the scanner, which connect here as they are built.
void TMainForm::ScanImageExecute() { }
void TMainForm::SelectDeviceExecute() { }
void TMainForm::SumBtnClick() { }
void TMainForm::SumMenuClick() { }
void TMainForm::Option1Click()
{
    input::ui::TOptionDlg dialog(m_settings, m_plugins->Rows(), m_plugins->Folders(), this);
    platform::qt::CentreOnPointer(dialog, m_workArea);
    if (Dialogs().Exec(dialog) != QDialog::Accepted)
        return;
    dialog.ApplyTo(m_settings);
    m_timer1->setInterval(SlideShowInterval(m_settings.wait));
    const int size = dialog.cbSumSize()->currentIndex();
    if (size != m_settings.sumSize) {
        // Thumbnails of the old size can't stay on screen.
        auto windows = Children();
        for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
            const QString kind = (*it)->objectName();
            if (kind == QStringLiteral("FlistForm") || kind == QStringLiteral("ArcForm")) {
                (*it)->close();
                QCoreApplication::processEvents();
            }
        }
        m_settings.sumSize = size;
    }
    m_plugins->SetRows(dialog.Rows());
}
void TMainForm::Filter1Click() { }
void TMainForm::KanrenClick() { }
void TMainForm::SaveBtnClick()
{
    if (auto* document = dynamic_cast<SettingFileDocument*>(m_mdiArea->activeSubWindow()))
        document->SaveAs();
}
void TMainForm::PrintBtnClick()
{
    if (auto* document = dynamic_cast<document::ui::TMDIChild*>(m_mdiArea->activeSubWindow()))
        document->PrintItemClick();
}
void TMainForm::UndoBtnClick()
{
    if (auto* document = dynamic_cast<document::ui::TMDIChild*>(m_mdiArea->activeSubWindow()))
        document->Undo1Click();
}
void TMainForm::CopyItemClick()
{
    if (auto* document = dynamic_cast<document::ui::TMDIChild*>(m_mdiArea->activeSubWindow()))
        document::ui::TMDIChild::CopyPicture(document->Picture);
}
void TMainForm::RCopyBtnClick()
{
    if (auto* document = dynamic_cast<document::ui::TMDIChild*>(m_mdiArea->activeSubWindow()))
        document->RCopyItemClick();
}
void TMainForm::PasteItemClick()
{
    if (auto* document = dynamic_cast<document::ui::TMDIChild*>(m_mdiArea->activeSubWindow()))
        document->Paste1Click();
}
void TMainForm::DelBtnClick() { }
void TMainForm::LeftBtnClick() { }
void TMainForm::RightBtnClick() { }

void TMainForm::MergeMenus(QMdiSubWindow* active)
{
    auto* owner = dynamic_cast<FrameChild*>(active);
    QList<QMenu*> menus = owner ? owner->ChildMenus() : m_frameMenus;
    if (owner) {
        menus << m_windowMenu;
        menus << m_frameMenus.last(); // help
    }
    QMenuBar* bar = menuBar();
    bar->clear();
    for (QMenu* m : menus)
        bar->addMenu(m);
}

void TMainForm::ChildClosing(QMdiSubWindow* child)
{
    const auto children = Children();
    if (!children.contains(child))
        return;
    if (children.size() == 1) {
        for (const char* name : { "CopyBtn", "PasteBtn", "SaveBtn", "PrintBtn", "UndoBtn",
                 "CloseBtn", "RCopyBtn", "MojiBtn", "LineBtn" })
            Item(QString::fromUtf8(name))->setEnabled(false);
        m_rateBox->setEnabled(false);
        setWindowTitle(QString::fromUtf8(kCaption));
        MergeMenus(nullptr);
    } else if (children.size() == 2) {
        Item("BackBtn")->setEnabled(false);
    }
}

// ---- View ----

void TMainForm::ToolBar1Click()
{
    m_settings.toolBar = Item("ToolBar1")->isChecked();
    m_panel1->setVisible(m_settings.toolBar);
}

void TMainForm::StatusBar1Click()
{
    m_settings.statusBar = Item("StatusBar1")->isChecked();
    statusBar()->setVisible(m_settings.statusBar);
}

// ---- Window ----

void TMainForm::ArrangeChildren(bool stacked)
{
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* w : Children())
        if (!w->isMinimized() && w->isVisible())
            windows << w;
    if (windows.isEmpty())
        return;
    const QRect area = m_mdiArea->viewport()->rect();
    const int n = static_cast<int>(windows.size());
    for (int i = 0; i < n; ++i) {
        windows[i]->showNormal();
        if (stacked) {
            int top = area.height() * i / n;
            windows[i]->setGeometry(0, top, area.width(), area.height() * (i + 1) / n - top);
        } else {
            int left = area.width() * i / n;
            windows[i]->setGeometry(left, 0, area.width() * (i + 1) / n - left, area.height());
        }
    }
}

void TMainForm::V1Click() { ArrangeChildren(true); }
void TMainForm::WindowTileItemClick() { ArrangeChildren(false); }
void TMainForm::WindowCascadeItemClick() { m_mdiArea->cascadeSubWindows(); }

void TMainForm::WindowMinimizeItemClick()
{
    auto windows = Children();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        (*it)->showMinimized();
}

void TMainForm::WindowArrangeItemClick()
{
    // Minimised windows line up along the bottom edge, left to right.
    const QRect area = m_mdiArea->viewport()->rect();
    int x = 0;
    int row = 0;
    for (QMdiSubWindow* w : Children()) {
        if (!w->isMinimized())
            continue;
        QSize size = w->size();
        if (x > 0 && x + size.width() > area.width()) {
            x = 0;
            ++row;
        }
        w->move(x, area.height() - size.height() * (row + 1));
        x += size.width();
    }
}

void TMainForm::FillWindowMenu()
{
    // The window list follows the fixed items, as in every multiple-document frame.
    const auto actions = m_windowMenu->actions();
    for (QAction* a : actions)
        if (a->property("windowListItem").toBool())
            m_windowMenu->removeAction(a), a->deleteLater();
    const auto windows = Children();
    if (windows.isEmpty())
        return;
    QAction* separator = m_windowMenu->addSeparator();
    separator->setProperty("windowListItem", true);
    int number = 1;
    for (QMdiSubWindow* w : windows) {
        QAction* a
            = m_windowMenu->addAction(QStringLiteral("&%1 %2").arg(number++).arg(w->windowTitle()));
        a->setProperty("windowListItem", true);
        a->setCheckable(true);
        a->setChecked(w == m_mdiArea->activeSubWindow());
        connect(a, &QAction::triggered, this, [this, w] { m_mdiArea->setActiveSubWindow(w); });
    }
}

void TMainForm::BackBtnClick() { m_mdiArea->activateNextSubWindow(); }
void TMainForm::CloseBtnClick() { m_mdiArea->closeActiveSubWindow(); }

// ---- Tools ----

void TMainForm::MojiBtnClick()
{
    if (Item("MojiBtn")->isChecked())
        Item("LineBtn")->setChecked(false);
}

void TMainForm::LineBtnClick()
{
    if (Item("LineBtn")->isChecked())
        Item("MojiBtn")->setChecked(false);
}

void TMainForm::FontChange()
{
    if (auto chosen = Dialogs().ChooseFont(this, m_textFont)) {
        m_textFont = *chosen;
        StoreTextFont();
    }
}

void TMainForm::cp15Click(int colourNumber) { m_settings.lineColor = colourNumber; }

void TMainForm::PopupMenu3Change()
{
    if (QAction* a = Item(QStringLiteral("cp%1").arg(m_settings.lineColor)))
        a->setChecked(true);
}

// ---- Slide show ----

void TMainForm::playBtnClick()
{
    if (Item("playBtn")->isChecked())
        m_timer1->start();
    else
        m_timer1->stop();
}

void TMainForm::Timer1Timer()
{
    m_timer1->stop();
    if (!Item("playBtn")->isChecked())
        return;
    RightBtnClick();
    QCoreApplication::processEvents();
    // The delay runs from the end of each load: the timer is armed again once the step is done.
    QCoreApplication::postEvent(this, new QEvent(QEvent::Type(QEvent::User + kWmAppRearm)));
}

// ---- Clipboard ----

void TMainForm::UpdatePasteState()
{
    // Without a child window there is nothing to paste into.
    if (Children().isEmpty()) {
        Item("PasteBtn")->setEnabled(false);
        return;
    }
    const bool canPaste
        = platform::qt::ClipboardOffersPicture(QGuiApplication::clipboard()->mimeData());
    Item("PasteBtn")->setEnabled(canPaste);
    for (QMdiSubWindow* child : Children())
        if (auto* document = dynamic_cast<document::ui::TMDIChild*>(child))
            document->Item(QStringLiteral("Paste1"))->setEnabled(canPaste);
}

// ---- Palette files ----

void TMainForm::RequestPaletteSave(int count)
{
    QCoreApplication::postEvent(this, new PaletteSaveEvent(count));
}

std::optional<QString> TMainForm::AskPaletteFileName(const QString& documentFile)
{
    FileDialogOptions o;
    o.title = QStringLiteral("パレットの保存");
    o.filter = QStringLiteral("パレット|*.pal");
    o.defaultExtension = QStringLiteral("pal");
    const QString folder = QFileInfo(documentFile).path();
    o.folder = documentFile.contains('/') ? folder : m_paletteFolder;
    auto chosen = Dialogs().SaveFileName(this, o);
    if (chosen)
        m_paletteFolder = QFileInfo(*chosen).absolutePath();
    return chosen;
}

void TMainForm::SavePaletteFile(
    const QString& fileName, std::span<const platform::PaletteEntry> entries)
{
    try {
        processing::WritePaletteFile(fileName.toStdString(), entries, entries.size());
    } catch (const std::exception& e) {
        platform::qt::ShowError(this, QString::fromUtf8(e.what()));
    }
}

void TMainForm::SaveBitmapPalette(const QString& documentFile, const platform::TBitmap& picture)
{
    size_t count = 0;
    if (picture.PixelFormat() == platform::TPixelFormat::pf8bit)
        count = 256;
    else if (picture.PixelFormat() == platform::TPixelFormat::pf4bit)
        count = 16;
    else
        return;
    auto chosen = AskPaletteFileName(documentFile);
    if (!chosen)
        return;
    std::vector<platform::PaletteEntry> entries(
        picture.EffectivePalette().begin(), picture.EffectivePalette().end());
    entries.resize(count);
    SavePaletteFile(*chosen, entries);
}

void TMainForm::SavePickedPalette(int count)
{
    auto* document = dynamic_cast<SettingFileDocument*>(m_mdiArea->activeSubWindow());
    auto chosen = AskPaletteFileName(document ? document->FileName() : QString());
    if (!chosen)
        return;
    std::vector<platform::PaletteEntry> entries;
    for (int i = 0; i < count && i < 256; ++i) {
        const auto& q = palettePick[static_cast<size_t>(i)];
        entries.push_back({ q.rgbRed, q.rgbGreen, q.rgbBlue, 0 });
    }
    SavePaletteFile(*chosen, entries);
}

std::optional<std::vector<platform::PaletteEntry>> TMainForm::LoadPalette(int count)
{
    FileDialogOptions o;
    o.title = QStringLiteral("パレットの読み込み");
    o.filter = QStringLiteral("パレット|*.pal");
    o.folder = m_paletteFolder;
    auto chosen = Dialogs().OpenFileNames(this, o);
    if (!chosen || chosen->isEmpty())
        return std::nullopt;
    std::vector<platform::PaletteEntry> entries;
    std::string refusal;
    try {
        if (processing::ReadPaletteFile(
                chosen->first().toStdString(), static_cast<size_t>(count), entries, refusal))
            return entries;
    } catch (const std::exception& e) {
        refusal = e.what();
    }
    platform::qt::ShowError(this, QString::fromStdString(refusal));
    return std::nullopt;
}

// ---- Help ----

void TMainForm::SearchforHelpOn1Click()
{
    QString readme = QString::fromUtf8(VTL_SOURCE_DIR) + QStringLiteral("/README.md");
    if (!QFileInfo::exists(readme))
        readme = QString::fromStdString(
            (platform::ProgramFolder().parent_path() / "share/doc/vtl/README.md").string());
    QDesktopServices::openUrl(QUrl::fromLocalFile(readme));
}

void TMainForm::HelpAboutItemClick()
{
    TAboutBox box(this);
    box.move(QCursor::pos() - QPoint(100, 30));
    Dialogs().Exec(box);
}

} // namespace vtl::app::ui
