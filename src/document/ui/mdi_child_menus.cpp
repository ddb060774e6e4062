// The document window's menu: every item with its caption, shortcut and hint, connected to the
// document's own commands or to the frame's.

#include "app/ui/colour_menu.h"
#include "document/ui/mdi_child.h"
#include "platform/qt/dialog_service.h"

#include <QActionGroup>
#include <QMenu>

namespace vtl::document::ui {

using app::ui::TMainForm;

namespace {
    const char* const kZoomItems[]
        = { "S25", "S50", "S75", "S100", "S150", "S200", "S400", "S800" };
    const char* const kZoomCaptions[]
        = { "25%", "50%", "75%", "100%", "150%", "200%", "400%", "800%" };
    const char* const kLineColourItems[16] = { "黒", "茶色", "緑", "オリーブ", "紺", "紫", "青緑",
        "銀色", "灰色", "赤", "黄緑", "黄", "青", "赤紫", "水色", "白" };

    QString U(const char* s) { return QString::fromUtf8(s); }
}

void TMDIChild::SetSystemMenuHints()
{
    // The window menu's items say what they do in the status bar, as the frame's menus do.
    QMenu* menu = systemMenu();
    if (!menu)
        return;
    const std::pair<QString, const char*> hints[] = {
        { QStringLiteral("Size"), "このウインドウのサイズを変更します。" },
        { QStringLiteral("Move"), "このウインドウを画面の別の位置に移動します。" },
        { QStringLiteral("Minimize"), "このウインドウを最小化します。" },
        { QStringLiteral("Maximize"), "このウインドウを画面いっぱいに拡大します。" },
        { QStringLiteral("Close"), "ウインドウを閉じます。" },
        { QStringLiteral("Restore"), "このウインドウを通常の大きさに戻します。" },
    };
    for (QAction* action : menu->actions()) {
        const QString text = action->text().remove(QLatin1Char('&'));
        for (const auto& [word, hint] : hints)
            if (text.startsWith(word))
                action->setStatusTip(U(hint));
    }
    // The window menu of a child also moves to the next window, as the frame's tool button does.
    QAction* next = new QAction(U("次のウインドウ(&T)"), menu);
    next->setObjectName(QStringLiteral("NextWindow"));
    next->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F6));
    next->setStatusTip(U("次のウインドウをアクティブにします。"));
    connect(next, &QAction::triggered, &m_main, [frame = &m_main] { frame->BackBtnClick(); });
    QAction* close = nullptr;
    for (QAction* action : menu->actions())
        if (action->statusTip() == U("ウインドウを閉じます。"))
            close = action;
    menu->insertAction(close, next);
    if (close)
        menu->insertSeparator(close);
    connect(menu, &QMenu::hovered, this,
        [this](QAction* action) { m_main.SetStatusText(action->statusTip()); });
    connect(menu, &QMenu::aboutToHide, this, [this] { m_main.SetStatusText(QString()); });
}

void TMDIChild::On(QAction* action, void (TMDIChild::*handler)())
{
    connect(action, &QAction::triggered, this,
        platform::qt::Guarded(this, [this, handler] { (this->*handler)(); }));
}

QAction* TMDIChild::Forward(
    QMenu* menu, const char* name, const char* caption, void (TMainForm::*handler)())
{
    QAction* a = menu->addAction(U(caption));
    a->setObjectName(U(name));
    // The frame's item of the same name carries the hint and the image the user already knows.
    if (QAction* frameItem = m_main.Item(U(name))) {
        a->setStatusTip(frameItem->statusTip());
        a->setIcon(frameItem->icon());
    }
    TMainForm* frame = &m_main;
    connect(a, &QAction::triggered, frame,
        platform::qt::Guarded(frame, [frame, handler] { (frame->*handler)(); }));
    m_items.insert(U(name), a);
    return a;
}

void TMDIChild::BuildMenus()
{
    auto menu = [&](const char* name, const char* caption) {
        auto* m = new QMenu(U(caption), this);
        m->setObjectName(U(name));
        m->menuAction()->setObjectName(U(name));
        m_items.insert(U(name), m->menuAction());
        connect(m, &QMenu::aboutToHide, this, [this] { m_main.SetStatusText(QString()); });
        m_menus << m;
        return m;
    };
    auto item = [&](QMenu* m, const char* name, const char* caption, const char* hint = "",
                    bool enabled = true) {
        QAction* a = m->addAction(U(caption));
        a->setObjectName(U(name));
        a->setStatusTip(U(hint));
        a->setEnabled(enabled);
        m_items.insert(U(name), a);
        return a;
    };
    auto submenu = [&](QMenu* parent, const char* name, const char* caption, bool enabled = true) {
        QMenu* m = parent->addMenu(U(caption));
        m->setObjectName(U(name));
        m->menuAction()->setObjectName(U(name));
        m->menuAction()->setEnabled(enabled);
        m_items.insert(U(name), m->menuAction());
        return m;
    };

    QMenu* file = menu("File1", "ファイル(&F)");
    Forward(file, "FileNewItem", "新規作成(&N)", &TMainForm::FileNewItemClick)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    Forward(file, "FileOpenItem", "開く(&O)", &TMainForm::FileOpenItemClick)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    Forward(file, "SetOpen", "設定を開く(&E)", &TMainForm::SetOpenClick);
    connect(item(file, "FileCloseItem", "閉じる(&C)", "ウインドウを閉じます。"),
        &QAction::triggered, this, &QWidget::close);
    connect(item(file, "Z1", "すべて閉じる(&Q)", "すべてのウインドウを閉じます。"),
        &QAction::triggered, &m_main,
        platform::qt::Guarded(&m_main, [frame = &m_main] { frame->CloseAllClick(); }));
    file->addSeparator();
    Forward(file, "Q1", "イメージの取得(&Q)", &TMainForm::ScanImageExecute)
        ->setStatusTip(m_main.Item("ScanImage")->statusTip());
    Forward(file, "L3", "デバイスの選択(&L)...", &TMainForm::SelectDeviceExecute)
        ->setStatusTip(m_main.Item("SelectDevice")->statusTip());
    file->addSeparator();
    QAction* saveAs = item(
        file, "FileSaveAsItem", "名前を付けて保存(&S)...", "画像を名前を付けて保存します。", false);
    saveAs->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    On(saveAs, &TMDIChild::FileSaveAsItemClick);
    connect(item(file, "SetSave", "設定を保存(&F)...", "開いている画像の設定を保存します。"),
        &QAction::triggered, &m_main,
        platform::qt::Guarded(&m_main, [frame = &m_main] { frame->SaveSettingFile(); }));
    connect(item(file, "PalSaveAsItem", "パレットを保存(&T)", "パレットを保存します。", false),
        &QAction::triggered, this,
        platform::qt::Guarded(this, [this] { m_main.SaveBitmapPalette(m_fileName, m_picture); }));
    QAction* print = item(file, "PrintItem", "印刷(&P)", "画像を印刷します。", false);
    print->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    On(print, &TMDIChild::PrintItemClick);
    file->addSeparator();
    Forward(file, "SumMenu", "サムネイル(&S)", &TMainForm::SumMenuClick)->setCheckable(true);
    file->addSeparator();
    Forward(file, "FileExitItem", "終了(&X)", &TMainForm::FileExitItemClick);

    QMenu* edit = menu("Edit1", "編集(&E)");
    {
        QAction* a = item(edit, "Undo1", "元に戻す(&U)", "直前の操作を取り消します。", false);
        a->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
        On(a, &TMDIChild::Undo1Click);
    }
    edit->addSeparator();
    {
        QAction* a
            = item(edit, "Copy1", "コピー(&C)", "画像をクリップボードにコピーします。", false);
        a->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
        On(a, &TMDIChild::Copy1Click);
    }
    On(item(edit, "SCopyItem", "表示サイズコピー(&V)", "表示している大きさでコピーします。", false),
        &TMDIChild::SCopyItemClick);
    On(item(edit, "RCopyItem", "範囲コピー(&H)", "選択した範囲をコピーします。", false),
        &TMDIChild::RCopyItemClick);
    {
        QAction* a
            = item(edit, "Paste1", "貼り付け(&P)", "クリップボードの画像を貼り付けます。", false);
        a->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
        On(a, &TMDIChild::Paste1Click);
    }
    edit->addSeparator();
    QMenu* reduce = submenu(edit, "N4", "減色(&Q)");
    item(reduce, "DC256", "256色", "256色に減色します。", false);
    item(reduce, "DC240", "sys+240色", "システム色と240色に減色します。", false);
    item(reduce, "DC16", "16色", "16色に減色します。", false);
    item(reduce, "Mono1", "モノクロ", "白黒にします。", false);
    item(reduce, "Mono2", "２値化", "しきい値で２値化します。", false);
    item(edit, "Cxor1", "色反転(&X)", "色を反転します。");
    QMenu* rotate = submenu(edit, "GRotate", "回転(&R)", false);
    item(rotate, "L1", "左90゜(&L)", "左に90度回転します。");
    item(rotate, "R1", "右90゜(&R)", "右に90度回転します。");
    item(rotate, "N180R1", "180゜(&C)", "180度回転します。");
    item(rotate, "R2", "上下反転(&H)", "上下を反転します。");
    item(rotate, "N15", "任意指定(&F)", "角度を指定して回転します。");
    item(edit, "GLM1", "拡大/縮小(&S)", "画像の大きさを変えます。");
    item(edit, "ClpMnu", "クリップ(&L)", "選択範囲を切り抜きます。");
    edit->addSeparator();
    item(edit, "ConnectItem", "連結(&A)", "二つの画像を連結します。", false);
    edit->addSeparator();
    On(item(edit, "SelPalItem", "パレット作成(&T)", "クリックした色でパレットを作ります。", false),
        &TMDIChild::SelPalItemClick);

    QMenu* insert = menu("Insert1", "挿入(&I)");
    item(insert, "InsStr", "文字入力(&I)", "文字を入力します。", false);
    item(insert, "FontMnu2", "文字フォント(&F)", "文字のフォントを選びます。");
    insert->addSeparator();
    item(insert, "InsLine", "自由線(&L)", "自由線を描きます。", false);
    QMenu* colours = submenu(insert, "LC1", "線色(&C)");
    auto* colourGroup = new QActionGroup(this);
    QList<QAction*> colourItems;
    for (int n : app::ui::kColourMenuOrder) {
        auto* a = new QAction(U(kLineColourItems[n]), colours);
        a->setObjectName(QStringLiteral("c%1").arg(n));
        a->setCheckable(true);
        colourGroup->addAction(a);
        m_items.insert(a->objectName(), a);
        colourItems << a;
    }
    app::ui::AddColourColumns(colours, colourItems);
    QMenu* widths = submenu(insert, "W1", "線幅(&W)");
    auto* widthGroup = new QActionGroup(this);
    for (auto [name, caption] : { std::pair { "lw1", "小　(1)" }, { "lw3", "中　(3)" },
             { "lw5", "大　(5)" }, { "lw10", "特大(10)" } }) {
        QAction* a = item(widths, name, caption);
        a->setCheckable(true);
        widthGroup->addAction(a);
    }

    QMenu* view = menu("Show1", "表示(&V)");
    On(item(view, "TitleItem", "キャプション(&C)", "ウインドウのタイトルを変更します。"),
        &TMDIChild::TitleItemClick);
    On(item(view, "Wall1", "壁紙に設定(&W)", "画像を壁紙にします。", false),
        &TMDIChild::Wall1Click);
    QMenu* zoom = submenu(view, "S1", "表示サイズ(&S)");
    m_zoomGroup = new QActionGroup(this);
    for (int i = 0; i < 8; ++i) {
        QAction* a = item(zoom, kZoomItems[i], kZoomCaptions[i], "表示倍率を変更します。");
        a->setCheckable(true);
        a->setChecked(i == 3);
        m_zoomGroup->addAction(a);
        connect(
            a, &QAction::triggered, this, platform::qt::Guarded(this, [this, i] { ZoomClick(i); }));
    }
    // Not a zoom of its own: it picks the step of the table that fits, which the zoom items and
    // the zoom box then show.
    zoom->addSeparator();
    QAction* fit = item(zoom, "SFit", "ウインドウに合わせる(&W)",
        "画像全体がウインドウに収まる表示倍率にします。");
    fit->setShortcut(QKeySequence(Qt::Key_Asterisk));
    On(fit, &TMDIChild::SFitClick);
    view->addSeparator();
    On(item(view, "Info1", "サイズ情報(&I)"), &TMDIChild::Info1Click);
    view->addSeparator();
    QAction* toolBar = Forward(view, "ToolBar1", "ツールバー(&T)", &TMainForm::ToolBar1Click);
    QAction* statusBar
        = Forward(view, "StatusBar1", "ステータスバー(&B)", &TMainForm::StatusBar1Click);
    for (QAction* a : { toolBar, statusBar }) {
        a->setCheckable(true);
        // The frame's item holds the state; this one follows it.
        disconnect(a, &QAction::triggered, &m_main, nullptr);
        // The frame's item holds the state: triggering it flips its check and runs its handler,
        // as from the frame's own menu.
        connect(a, &QAction::triggered, this, [this, a] {
            QAction* frameItem = m_main.Item(a->objectName());
            if (frameItem->isChecked() != a->isChecked())
                frameItem->trigger();
            a->setChecked(frameItem->isChecked());
        });
    }
    view->addSeparator();
    Forward(view, "Option1", "オプション(&O)...", &TMainForm::Option1Click);
    Forward(view, "Filter2", "フィルタ設定(&U)...", &TMainForm::Filter1Click)
        ->setStatusTip(m_main.Item("Filter1")->statusTip());
    Forward(view, "L2", "関連付け(&L)...", &TMainForm::KanrenClick)
        ->setStatusTip(m_main.Item("Kanren")->statusTip());

    QMenu* filter = menu("Filtter1", "フィルタ(&T)");
    filter->menuAction()->setEnabled(false);
    item(filter, "Mosaic1", "モザイク(&M)", "モザイクをかけます。");
    QMenu* gauss = submenu(filter, "Gauss1", "ぼかし(&B)");
    item(gauss, "Gauss2", "小(&S)", "弱くぼかします。");
    item(gauss, "Gauss3", "大(&L)", "強くぼかします。");
    item(filter, "Sharp1", "シャープ(&S)", "輪郭を強調します。");
    QMenu* sepia = submenu(filter, "Sepia1", "セピア(&P)");
    item(sepia, "Sepia2", "100%", "セピア調にします。");
    item(sepia, "Sepia3", "75%", "セピア調にします。");
    item(sepia, "Sepia4", "50%", "セピア調にします。");
    item(filter, "Median1", "メディアン(&D)", "ノイズを除去します。");
    QMenu* oil = submenu(filter, "Oil1", "油絵(&O)");
    item(oil, "Oil2", "小(&S)", "油絵風にします。");
    item(oil, "Oil3", "大(&L)", "油絵風にします。");
    item(filter, "enboss1", "エンボス(&E)", "浮き彫りにします。");
    filter->addSeparator();
    item(filter, "Gray1", "グレースケール(&G)", "グレースケールにします。");
    item(filter, "Edge1", "エッジ(&E)", "エッジを抽出します。");
    item(filter, "Edge2", "等高線(&C)", "等高線を抽出します。");
    filter->addSeparator();
    item(filter, "ChgRgb", "RGB調整(&R)", "RGBを調整します。");
    item(filter, "ChgHsi", "明度・彩度・色相(&H)", "明度・彩度・色相を調整します。");
    filter->addSeparator();
    item(filter, "N14", "ユーザーフィルタ(&U)", "ユーザーフィルタをかけます。");
}

} // namespace vtl::document::ui
