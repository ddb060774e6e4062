#include "document/ui/mdi_child.h"

#include "app/ui/image_lists.h"
#include "codecs/jpeg_decoder.h"
#include "document/picture_saving.h"
#include "document/ui/folder_stepping.h"
#include "document/ui/image_view.h"
#include "document/ui/jrate_dialog.h"
#include "document/ui/trk_shape.h"
#include "platform/qt/dialog_service.h"
#include "platform/qt/wait_cursor.h"
#include "processing/ui/geometry_commands.h"
#include "processing/ui/input_dialog.h"
#include "processing/ui/processing_commands.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QWheelEvent>
#include <optional>

namespace vtl::document::ui {

using app::ui::TMainForm;
using platform::TPixelFormat;
using platform::qt::Dialogs;
using platform::qt::FileDialogOptions;
using platform::qt::MsgButtons;
using platform::qt::MsgIcon;
using platform::qt::MsgResult;

namespace {
    const char* const kZoomItems[]
        = { "S25", "S50", "S75", "S100", "S150", "S200", "S400", "S800" };
    const char* const kAskSave = " は変更がありますが保存しますか?";
    const char* const kSaveFilter
        = "Bitmapファイル(非圧縮)|*.bmp|Bitmap ファイル（RLE圧縮）|*.bmp|Jpeg "
          "ファイル|*.jpg;*.jpeg|"
          "png ファイル|*.png|png ファイル(インターレース）|*.png|png ファイル(左下透明色)|*.png|"
          "png ファイル(インターレース+左下透明）|*.png";

    QString U(const char* s) { return QString::fromUtf8(s); }
}

int ZoomedLength(int length, int zoomIndex)
{
    switch (zoomIndex) {
    case 0:
        return length / 4;
    case 1:
        return length / 2;
    case 2:
        return length * 3 / 4;
    case 3:
        return length;
    case 4:
        return length * 3 / 2;
    case 5:
        return length * 2;
    case 6:
        return length * 4;
    case 7:
        return length * 8;
    default:
        return length;
    }
}

int DisplayToPicture(int value, int zoomIndex)
{
    switch (zoomIndex) {
    case 0:
        return value * 4;
    case 1:
        return value * 2;
    case 2:
        return value * 4 / 3;
    case 4:
        return value * 2 / 3;
    case 5:
        return value / 2;
    case 6:
        return value / 4;
    case 7:
        return value / 8;
    default:
        return value;
    }
}

int FittingZoom(int width, int height, QSize room)
{
    for (int zoom = 7; zoom > 0; --zoom)
        if (ZoomedLength(width, zoom) <= room.width() && ZoomedLength(height, zoom) <= room.height())
            return zoom;
    return 0;
}

QString PixelFormatName(TPixelFormat format)
{
    switch (format) {
    case TPixelFormat::pf1bit:
        return U("白黒");
    case TPixelFormat::pf4bit:
        return U("16 色");
    case TPixelFormat::pf8bit:
        return U("256 色");
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit:
        return U("High Color");
    case TPixelFormat::pf24bit:
    case TPixelFormat::pf32bit:
        return U("True Color");
    default:
        return QString();
    }
}

TMDIChild::TMDIChild(TMainForm& main)
    : QMdiSubWindow(nullptr)
    , m_main(main)
{
    setObjectName(QStringLiteral("MDIChild"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(app::ui::ApplicationIcon());
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("ScrollArea"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_scroll->setBackgroundRole(QPalette::Button); // clBtnFace
    m_image = new TImage;
    m_scroll->setWidget(m_image);
    m_scroll->setWidgetResizable(false);
    m_scroll->viewport()->installEventFilter(this);
    // Moving off the picture clears the status panel: the space around it reports every move.
    m_scroll->viewport()->setMouseTracking(true);
    setMouseTracking(true);
    setWidget(m_scroll);
    // The range: an inverting dotted outline, movable and sizable by its edges (no grips drawn),
    // kept inside the picture; hidden until the user drags one.
    m_shape = new TTrkShape(m_image);
    m_shape->setObjectName(QStringLiteral("Shape"));
    m_shape->SetPen({ Qt::black, 1, Qt::DotLine, TTrkPenMode::pmNot });
    m_shape->SetShape(TTrkShapeType::sktFrame);
    m_shape->SetSelected(true);
    m_shape->SetSelectView(false);
    m_shape->SetFixedImage(m_image);
    m_shape->hide();
    connect(m_shape, &TTrkShape::MouseMoveEx, this,
        [this](int x, int y, int w, int h) { ShowRect(x, y, x + w, y + h); }); // ShapeMouseMoveEx
    connect(m_shape, &TTrkShape::MouseMove, this, [this](QMouseEvent*) { // ShapeMouseMove
        ShowRect(Selection.Left, Selection.Top, Selection.Right, Selection.Bottom);
    });
    auto shapeMoveEnd = [this] {
        const QRect g = m_shape->geometry();
        Selection = { g.x(), g.y(), g.x() + g.width(), g.y() + g.height() };
    };
    connect(m_shape, &TTrkShape::MoveEnd, this, shapeMoveEnd);
    connect(m_shape, &TTrkShape::ReSizeEnd, this, shapeMoveEnd);
    connect(m_shape, &TTrkShape::DblClickEnd, this, [this] { // ShapeDblClick
        Item("RCopyItem")->setEnabled(false);
        m_main.Item("RCopyBtn")->setEnabled(false);
        m_shape->hide();
    });
    connect(m_image, &TImage::MouseDown, this, &TMDIChild::Image1MouseDown);
    connect(m_image, &TImage::MouseMove, this, &TMDIChild::Image1MouseMove);
    connect(m_image, &TImage::MouseUp, this, &TMDIChild::Image1MouseUp);
    connect(
        m_image, &TImage::Clicked, this, platform::qt::Guarded(this, [this] { Image1Click(); }));
    setGeometry(662, 100, 408, 240);
    BuildMenus();
    processing::ui::WireProcessingCommands(*this, m_main);
    processing::ui::WireGeometryCommands(*this, m_main);
    WireDrawingTools();
    SetSystemMenuHints();
    Item("DC240")->setVisible(m_main.AppSettings().show240);
    ZoomIndex = -1;
    m_folderSteps = std::make_unique<TFolderStepper>(m_main, *this);
}

TMDIChild::~TMDIChild() = default;

app::ui::NavigationSource* TMDIChild::FolderSteps() const
{
    return !m_fromList && m_folderSteps->CanStep() ? m_folderSteps.get() : nullptr;
}

QAction* TMDIChild::Item(const QString& name) const { return m_items.value(name, nullptr); }
TTrkShape* TMDIChild::Shape() const { return m_shape; }

void TMDIChild::RedrawDisplay(int zoomIndex)
{
    m_image->SetPicture(&m_picture,
        QSize(ZoomedLength(m_picture.Width(), zoomIndex),
            ZoomedLength(m_picture.Height(), zoomIndex)));
}

platform::TBitmap TMDIChild::RenderDisplay(QRect region) const { return m_image->Render(region); }
platform::TBitmap TMDIChild::RenderDisplay() const { return m_image->Render(); }

void TMDIChild::ZoomClick(int zoomIndex)
{
    // The same zoom again keeps the display as it is, lines drawn over it included.
    if (ZoomIndex != zoomIndex)
        RedrawDisplay(zoomIndex);
    ZoomIndex = zoomIndex;
    Item(U(kZoomItems[zoomIndex]))->setChecked(true);
    Item("SCopyItem")->setEnabled(zoomIndex != 3);
    Item("RCopyItem")->setEnabled(false);
    m_shape->hide();
    m_main.Item("RCopyBtn")->setEnabled(false);
    FitWindow();
}

void TMDIChild::FitWindow()
{
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    if (!isMaximized()) {
        // The frame around the client area: what the window has beyond its contents.
        const QSize decoration = size() - m_scroll->size();
        resize(m_image->size() + decoration);
    }
    if (ZoomIndex != -1)
        m_main.RateBox()->setCurrentIndex(ZoomIndex);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void TMDIChild::StepZoom(int steps)
{
    if (m_picture.Empty())
        return;
    const int current = ZoomIndex >= 0 ? ZoomIndex : 3;
    const int zoom = std::clamp(current + steps, 0, 7);
    if (zoom != current)
        SetZoom(zoom);
}

void TMDIChild::SFitClick()
{
    if (m_picture.Empty())
        return;
    // A window that is not maximised takes its picture's size, so it may stand beyond the frame:
    // the room is what the frame's client area can show of the window's client area.
    QSize room = m_scroll->size();
    if (!isMaximized()) {
        const QSize decoration = size() - m_scroll->size();
        room = room.boundedTo(m_main.MdiArea()->viewport()->size() - decoration);
    }
    SetZoom(FittingZoom(m_picture.Width(), m_picture.Height(), room));
}

void TMDIChild::SetZoom(int zoomIndex)
{
    PalettePick = false;
    if (zoomIndex >= 0 && zoomIndex <= 7)
        ZoomClick(zoomIndex);
    const bool canUndo = !m_undoPicture.Empty();
    Item("Undo1")->setEnabled(canUndo);
    m_main.Item("UndoBtn")->setEnabled(canUndo);
    EnableFormatCommands();
}

void TMDIChild::SetItemStates(std::initializer_list<std::pair<const char*, ItemState>> states)
{
    for (const auto& [name, state] : states)
        if (state != ItemState::Same)
            Item(U(name))->setEnabled(state == ItemState::On);
}

void TMDIChild::EnableFormatCommands()
{
    constexpr auto Same = ItemState::Same, Off = ItemState::Off, On = ItemState::On;
    auto row = [this](ItemState dc256, ItemState dc240, ItemState dc16, ItemState mono1,
                   ItemState mono2, ItemState filter) {
        SetItemStates({ { "DC256", dc256 }, { "DC240", dc240 }, { "DC16", dc16 },
            { "Mono1", mono1 }, { "Mono2", mono2 }, { "Filtter1", filter } });
    };
    switch (m_picture.PixelFormat()) {
    case TPixelFormat::pf4bit:
        row(Same, Same, Off, On, On, Off);
        break;
    case TPixelFormat::pf8bit:
        row(Same, On, On, On, On, On);
        break;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit:
    case TPixelFormat::pf32bit:
        row(On, On, On, On, On, Same);
        break;
    case TPixelFormat::pf24bit:
        row(On, On, On, On, On, On);
        break;
    default:
        row(Off, Off, Off, Off, Off, Off);
        break;
    }
}

void TMDIChild::UpdateSizeInfo()
{
    Item("Info1")->setStatusTip(QStringLiteral("%1 x %2 ( %3 )")
                                    .arg(m_picture.Width())
                                    .arg(m_picture.Height())
                                    .arg(PixelFormatName(m_picture.PixelFormat())));
}

void TMDIChild::PictureChanged()
{
    const int zoom = ZoomIndex;
    ZoomIndex = -1;
    SetZoom(zoom);
    UpdateSizeInfo();
}

void TMDIChild::EnableLoadedCommands(int zoomIndex)
{
    Item("PalSaveAsItem")->setEnabled(false);
    for (const char* name : { "ConnectItem", "FileSaveAsItem", "PrintItem", "Copy1", "GRotate",
             "Cxor1", "GLM1", "ClpMnu", "Wall1" })
        Item(U(name))->setEnabled(true);
    Item("SCopyItem")->setEnabled(zoomIndex != 3);
    EnableFormatCommands();
    for (const char* name : { "CopyBtn", "SaveBtn", "PrintBtn", "MojiBtn", "LineBtn" })
        m_main.Item(U(name))->setEnabled(true);
    m_main.RateBox()->setEnabled(true);
}

void TMDIChild::TitleItemClick()
{
    auto answer = processing::ui::InputText(
        this, m_main.WorkArea(), U("ウインドウタイトルの入力"), windowTitle());
    if (answer && !answer->isEmpty())
        setWindowTitle(*answer);
}

void TMDIChild::SelPalItemClick()
{
    PalettePick = true;
    m_main.palettePicker.Start(m_picture.PixelFormat() == TPixelFormat::pf8bit);
}

void TMDIChild::FormActivate()
{
    // The browser and the archive window set the stepping flag just before their picture's
    // window first becomes active; every other picture steps through its own folder.
    if (!m_activated) {
        m_activated = true;
        m_fromList = m_main.steppingFlag;
    }
    const bool canUndo = !m_undoPicture.Empty();
    Item("Undo1")->setEnabled(canUndo);
    m_main.Item("UndoBtn")->setEnabled(canUndo);
    m_main.RateBox()->setEnabled(true);
    m_main.Item("CloseBtn")->setEnabled(true);
    m_main.Item("DelBtn")->setEnabled(false);
    const bool picture = !m_picture.Empty();
    for (const char* name :
        { "Copy1", "ConnectItem", "GRotate", "Cxor1", "GLM1", "ClpMnu", "Wall1" })
        Item(U(name))->setEnabled(picture);
    for (const char* name : { "CopyBtn", "SaveBtn", "PrintBtn", "MojiBtn", "LineBtn" })
        m_main.Item(U(name))->setEnabled(picture);
    m_main.Item("MojiBtn")->setChecked(false);
    m_main.Item("LineBtn")->setChecked(false);
    m_main.Item("RCopyBtn")->setEnabled(Item("RCopyItem")->isEnabled());
    m_main.setWindowTitle(m_fileName + QStringLiteral(" - Vistrel"));
    for (const char* name : { "ToolBar1", "StatusBar1", "SumMenu" })
        Item(U(name))->setChecked(m_main.Item(U(name))->isChecked());
    m_main.UpdatePasteState();
    if (ZoomIndex != -1)
        m_main.RateBox()->setCurrentIndex(ZoomIndex);
    const bool ownFolder = FolderSteps() != nullptr;
    for (const char* name : { "LeftBtn", "RightBtn", "playBtn" })
        m_main.Item(U(name))->setEnabled(m_main.steppingFlag || ownFolder);
    m_main.Item("playBtn")->setChecked(false);
    m_main.steppingFlag = false;
    if (ownFolder)
        m_folderSteps->DecodeAheadAfterPaint();
}

void TMDIChild::FolderStepsChanged()
{
    // The window becomes active before the loading pipeline names its file, and a picture saved
    // under a name gets a folder: stepping through it starts then.
    if (m_main.MdiArea()->activeSubWindow() != this || !FolderSteps())
        return;
    for (const char* name : { "LeftBtn", "RightBtn", "playBtn" })
        m_main.Item(U(name))->setEnabled(true);
    m_folderSteps->DecodeAheadAfterPaint();
}

void TMDIChild::FormDeactivate()
{
    PalettePick = false;
    // Pictures are decoded ahead for the active document only.
    m_folderSteps->Release();
}

void TMDIChild::PalettePickClick(QPoint at)
{
    // Display coordinates are taken as picture coordinates, whatever the zoom; a point beyond the
    // picture (at a zoom above 100 %) reads as the canvas reads it, white.
    processing::TPalettePicker& picker = m_main.palettePicker;
    const bool done = picker.Pick(m_picture.Pixel(at.x(), at.y()));
    m_main.SetStatusText(QString::fromStdString(picker.StatusText()));
    if (done) {
        PalettePick = false;
        m_main.RequestPaletteSave(static_cast<int>(picker.Wanted()));
    }
}

bool TMDIChild::SaveAs()
{
    const QFileInfo current(m_fileName);
    FileDialogOptions o;
    o.title = U("画像の保存");
    o.filter = U(kSaveFilter);
    o.defaultExtension = QStringLiteral("bmp");
    o.folder = current.path();
    o.fileName = current.completeBaseName();
    auto chosen = Dialogs().SaveFileName(this, o);
    if (!chosen)
        return false;
    QString name = *chosen;
    auto withExtension = [&name](const QString& ext) {
        QFileInfo info(name);
        name = info.path() + QLatin1Char('/') + info.completeBaseName() + ext;
    };
    const int index = o.filterIndex;
    document::SaveKind kind = document::SaveKind::Bmp;
    if (index == 1 || index == 2) {
        withExtension(QStringLiteral(".bmp"));
        kind = index == 1 ? document::SaveKind::Bmp : document::SaveKind::BmpRle;
    } else if (index == 3) {
        if (QFileInfo(name).suffix().compare(QStringLiteral("jpeg"), Qt::CaseInsensitive) != 0)
            withExtension(QStringLiteral(".jpg"));
        kind = document::SaveKind::Jpeg;
    } else {
        withExtension(QStringLiteral(".png"));
        const document::SaveKind kinds[]
            = { document::SaveKind::Png, document::SaveKind::PngInterlace,
                  document::SaveKind::PngTransparent, document::SaveKind::PngInterlaceTransparent };
        kind = kinds[std::clamp(index, 4, 7) - 4];
    }
    // A caption the user set stays; one that was the file's name follows the new name. Both change
    // only once the file is written: a refused or failed save leaves the document as it was.
    const QString caption
        = windowTitle() == current.fileName() ? QFileInfo(name).fileName() : windowTitle();

    document::SaveOptions options;
    options.pngBest = m_main.AppSettings().png;
    if (kind == document::SaveKind::Jpeg) {
        TJRateDlg quality(this);
        quality.SetPosition(m_main.AppSettings().jpg);
        Dialogs().Exec(quality);
        m_main.AppSettings().jpg = quality.Position();
        options.jpegQuality = quality.Position();
    }
    const std::filesystem::path path = name.toStdString();
    // A write that fails is reported as every error is, and the save ends there.
    std::optional<document::SaveOutcome> outcome;
    platform::qt::RunGuarded(this, [&] {
        platform::qt::WaitCursor wait;
        outcome = document::SavePicture(m_picture, path, kind, options);
    });
    if (!outcome)
        return false;
    if (outcome == document::SaveOutcome::NotPaletted) {
        platform::qt::ShowError(this, U("16色または256色のみ圧縮できます。"));
        return false;
    }
    Rename(name, caption);
    m_main.setWindowTitle(m_fileName + QStringLiteral(" - Vistrel"));
    m_modifiedCount = 0;
    FolderStepsChanged();
    if (outcome == document::SaveOutcome::SavedUncompressed)
        platform::qt::ShowError(
            this, caption + U(" は圧縮するとサイズが大きくなるので非圧縮で保存します。"));
    if (kind == document::SaveKind::Jpeg) {
        // The document shows what the file holds now; undo returns to the picture before saving.
        // The file is written whatever happens here: a failed reload keeps the picture shown.
        platform::qt::RunGuarded(this, [this, &path] {
            platform::TBitmap reloaded;
            codecs::DecodeJpegFile(path, reloaded);
            m_undoPicture = std::move(m_picture);
            m_picture = std::move(reloaded);
            PictureChanged();
        });
    }
    return true;
}

void TMDIChild::Rename(const QString& fileName, const QString& caption)
{
    m_fileName = fileName;
    setWindowTitle(caption);
}

bool TMDIChild::ReadyToReplace()
{
    if (m_modifiedCount == 0)
        return true;
    m_main.MdiArea()->setActiveSubWindow(this);
    auto answer = Dialogs().MessageBox(this, QStringLiteral("vtl"), windowTitle() + U(kAskSave),
        MsgIcon::Warning, MsgButtons::YesNo);
    return answer != MsgResult::Yes || SaveAs();
}

bool TMDIChild::FormCloseQuery() { return ReadyToReplace(); }

void TMDIChild::closeEvent(QCloseEvent* event)
{
    // A save that is cancelled or fails keeps the window open with its changes: closing it anyway
    // would lose them.
    // Nor while a dialog is open: it may be working on this picture.
    bool canClose = false;
    if (!platform::qt::DialogOpen())
        platform::qt::RunGuarded(this, [this, &canClose] { canClose = FormCloseQuery(); });
    if (!canClose) {
        event->ignore();
        return;
    }
    FormClose();
    QMdiSubWindow::closeEvent(event);
    event->accept();
}

void TMDIChild::ShowPicture(platform::TBitmap picture, const QString& fileName,
    const QString& caption, int zoomIndex, Origin origin)
{
    m_fileName = fileName;
    setWindowTitle(caption);
    m_main.setWindowTitle(caption + QStringLiteral(" - Vistrel"));
    m_picture = std::move(picture);
    m_undoPicture = platform::TBitmap();
    m_modifiedCount = origin == Origin::Buffer && !m_picture.Empty() ? 1 : 0;
    FolderStepsChanged();
    if (m_picture.Empty())
        return;
    ZoomIndex = -1;
    SetZoom(zoomIndex);
    UpdateSizeInfo();
    EnableLoadedCommands(zoomIndex);
}

void TMDIChild::StepTo(platform::TBitmap picture, const QString& fileName, const QString& caption)
{
    // The new picture is shown at the document's zoom.
    const int zoom = ZoomIndex >= 0 ? ZoomIndex : 3;
    ShowPicture(std::move(picture), fileName, caption, zoom);
}

bool TMDIChild::ApplyOperation(const Operation& operation)
{
    if (!operation(m_picture, &m_undoPicture))
        return false;
    m_modifiedCount += 1;
    Item("Undo1")->setEnabled(true);
    m_main.Item("UndoBtn")->setEnabled(true);
    PictureChanged();
    return true;
}

void TMDIChild::FormClose()
{
    m_folderSteps->Release();
    m_main.ChildClosing(this);
}

void TMDIChild::keyPressEvent(QKeyEvent* event)
{
    // Keys the document gives no other meaning (the keypad's come with the keypad modifier).
    switch (event->key()) {
    case Qt::Key_Plus:
        platform::qt::RunGuarded(this, [this] { StepZoom(1); });
        break;
    case Qt::Key_Minus:
        platform::qt::RunGuarded(this, [this] { StepZoom(-1); });
        break;
    default:
        QMdiSubWindow::keyPressEvent(event);
    }
}

void TMDIChild::keyReleaseEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Left:
        if (m_main.Item("playBtn")->isEnabled())
            platform::qt::RunGuarded(&m_main, [this] { m_main.LeftBtnClick(); });
        break;
    case Qt::Key_Right:
        if (m_main.Item("playBtn")->isEnabled())
            platform::qt::RunGuarded(&m_main, [this] { m_main.RightBtnClick(); });
        break;
    case Qt::Key_Escape:
        m_main.Item("playBtn")->setChecked(false);
        m_main.playBtnClick();
        break;
    default:
        QMdiSubWindow::keyReleaseEvent(event);
    }
}

void TMDIChild::WheelScroll(bool down)
{
    QScrollBar* bar = m_scroll->verticalScrollBar();
    if (!bar->isVisible())
        return;
    const int step = m_scroll->viewport()->height() * 2 / 3 + 1;
    bar->setValue(
        down ? std::min(bar->value() + step, bar->maximum()) : std::max(bar->value() - step, 0));
}

bool TMDIChild::eventFilter(QObject* watched, QEvent* event)
{
    // Ctrl with the wheel zooms, a step per notch (finer wheels add up to notches), whether the
    // picture scrolls or not.
    if (watched == m_scroll->viewport() && event->type() == QEvent::Wheel
        && (static_cast<QWheelEvent*>(event)->modifiers() & Qt::ControlModifier)) {
        m_wheelZoom += static_cast<QWheelEvent*>(event)->angleDelta().y();
        const int steps = m_wheelZoom / QWheelEvent::DefaultDeltasPerStep;
        m_wheelZoom -= steps * QWheelEvent::DefaultDeltasPerStep;
        if (steps != 0)
            platform::qt::RunGuarded(this, [this, steps] { StepZoom(steps); });
        return true;
    }
    // The wheel scrolls the picture while its scroll bar shows; otherwise it goes on to the
    // frame's client area, which scrolls when the window stands beyond it.
    if (watched == m_scroll->viewport() && event->type() == QEvent::Wheel
        && m_scroll->verticalScrollBar()->isVisible()) {
        WheelScroll(static_cast<QWheelEvent*>(event)->angleDelta().y() < 0);
        return true;
    }
    if (watched == m_scroll->viewport() && event->type() == QEvent::MouseMove)
        m_main.SetStatusText(QString());
    return QMdiSubWindow::eventFilter(watched, event);
}

void TMDIChild::mouseMoveEvent(QMouseEvent* event)
{
    m_main.SetStatusText(QString());
    QMdiSubWindow::mouseMoveEvent(event);
}

void TMDIChild::ShowRect(int left, int top, int right, int bottom)
{
    m_main.SetStatusText(
        QStringLiteral(" Rect (%1:%2) - (%3:%4)").arg(left).arg(top).arg(right).arg(bottom));
}

void TMDIChild::Image1MouseDown(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    if (PalettePick) {
        PalettePickClick(p);
        return;
    }
    if (m_main.Item("MojiBtn")->isChecked()) {
        Selection.Left = p.x();
        Selection.Top = p.y();
        Item("RCopyItem")->setEnabled(false);
        m_shape->hide();
        m_main.Item("RCopyBtn")->setEnabled(false);
        return;
    }
    if (m_main.Item("LineBtn")->isChecked()) {
        platform::qt::RunGuarded(this, [this, p] { StartLine(p); });
        return;
    }
    if (event->button() == Qt::LeftButton) {
        m_shape->hide();
        m_shape->setGeometry(p.x(), p.y(), 0, 0);
        Selection = { p.x(), p.y(), p.x(), p.y() };
        Dragging = true;
        Item("RCopyItem")->setEnabled(false);
        m_main.Item("RCopyBtn")->setEnabled(false);
    }
}

void TMDIChild::Image1MouseMove(QMouseEvent* event)
{
    if (PalettePick)
        return;
    const QPoint p = event->position().toPoint();
    const bool outside
        = p.x() < 0 || p.y() < 0 || p.x() > m_image->width() || p.y() > m_image->height();
    if (m_main.Item("LineBtn")->isChecked() && Dragging) {
        if (outside) {
            Dragging = false; // moving back in does not resume the stroke
            return;
        }
        platform::qt::RunGuarded(this, [this, p] { DrawLineTo(p); });
        m_main.SetStatusText(QStringLiteral(" Point (%1:%2)").arg(p.x()).arg(p.y()));
        return;
    }
    if (Dragging) {
        if (outside) {
            Dragging = false;
            m_shape->hide();
        } else {
            Selection.Right = p.x();
            Selection.Bottom = p.y();
            m_shape->setGeometry(
                QRect(QPoint(std::min(Selection.Left, p.x()), std::min(Selection.Top, p.y())),
                    QSize(std::abs(p.x() - Selection.Left), std::abs(p.y() - Selection.Top))));
            m_shape->show();
        }
        ShowRect(Selection.Left, Selection.Top, p.x(), p.y());
        return;
    }
    m_main.SetStatusText(QStringLiteral(" Point (%1:%2)").arg(p.x()).arg(p.y()));
}

void TMDIChild::Image1MouseUp(QMouseEvent* event)
{
    if (PalettePick)
        return;
    const QPoint p = event->position().toPoint();
    if (!m_main.Item("LineBtn")->isChecked() && Dragging) {
        if (p.x() < 0 || p.y() < 0 || p.x() > m_image->width() || p.y() > m_image->height()) {
            m_shape->hide();
        } else if (p.x() == Selection.Left || p.y() == Selection.Top) {
            m_shape->hide();
            Item("RCopyItem")->setEnabled(false);
            m_main.Item("RCopyBtn")->setEnabled(false);
        } else {
            Selection.Right = p.x();
            Selection.Bottom = p.y();
            if (Selection.Left > Selection.Right)
                std::swap(Selection.Left, Selection.Right);
            if (Selection.Top > Selection.Bottom)
                std::swap(Selection.Top, Selection.Bottom);
            Item("RCopyItem")->setEnabled(true);
            m_main.Item("RCopyBtn")->setEnabled(true);
        }
    }
    Dragging = false;
}

} // namespace vtl::document::ui
