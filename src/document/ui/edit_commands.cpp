// The document's commands that compute no new pixels: undo, copies, paste, print, wallpaper and
// the size tag.

#include "document/output_layout.h"
#include "document/ui/image_view.h"
#include "document/ui/mdi_child.h"
#include "document/ui/trk_shape.h"
#include "platform/atomic_file.h"
#include "platform/environment.h"
#include "platform/qt/clipboard.h"
#include "platform/qt/desktop.h"
#include "platform/qt/dialog_service.h"
#include "render/qimage_bridge.h"

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>

namespace vtl::document::ui {

namespace {
    QString U(const char* s) { return QString::fromUtf8(s); }

    // The desktop's background colour, which the adjusted wallpaper shows around the picture.
    constexpr platform::TColor kDesktopBackground = platform::Rgb(58, 110, 165);
}

void TMDIChild::Undo1Click()
{
    if (m_undoPicture.Empty())
        return;
    m_picture = std::move(m_undoPicture);
    m_undoPicture = platform::TBitmap();
    --m_modifiedCount;
    Item("Undo1")->setEnabled(false);
    m_main.Item("UndoBtn")->setEnabled(false);
    PictureChanged();
}

void TMDIChild::CopyPicture(const platform::TBitmap& picture)
{
    TDIB dib;
    dib.Assign(picture);
    platform::qt::CopyToClipboard(dib);
}

void TMDIChild::Copy1Click() { CopyPicture(m_picture); }

// The zoomed picture is made for the copy alone, from the picture and the lines on the screen.
void TMDIChild::SCopyItemClick() { CopyPicture(m_image->Render()); }

void TMDIChild::RCopyItemClick()
{
    // The range has the display's scale. Only the part of it that lies on the display is
    // rendered; any rest stays white, as a fresh bitmap is.
    const platform::TRect s = Selection;
    const QRect onDisplay = QRect(s.Left, s.Top, s.Width(), s.Height()) & m_image->rect();
    const platform::TBitmap shown = m_image->Render(onDisplay);
    if (onDisplay == QRect(s.Left, s.Top, s.Width(), s.Height())) {
        CopyPicture(shown);
        return;
    }
    platform::TBitmap range(s.Width(), s.Height(), m_picture.PixelFormat());
    if (m_picture.HasPalette())
        range.SetPalette(m_picture.PaletteEntries());
    range.Canvas().Draw(onDisplay.x() - s.Left, onDisplay.y() - s.Top, shown);
    CopyPicture(range);
}

void TMDIChild::Paste1Click()
{
    TDIB dib;
    platform::qt::QtClipboard clipboard;
    dib.Assign(clipboard); // an empty clipboard raises the buffer's error; nothing has changed yet
    if (dib.BitCount() > 8 && m_main.PaletteDisplayFlag()) {
        app::ui::StatusGuard status(m_main, U("減色中..."));
        dib.SetPixelFormat(DibPixelFormat::Dib8Bit);
    }
    platform::TBitmap pasted;
    dib.AssignTo(pasted);
    if (!m_picture.Empty())
        m_undoPicture = std::move(m_picture);
    m_picture = std::move(pasted);
    ZoomIndex = -1;
    SetZoom(3);
    Item("SCopyItem")->setEnabled(false);
    Item("RCopyItem")->setEnabled(false);
    m_shape->hide();
    m_main.Item("RCopyBtn")->setEnabled(false);
    Item("FileSaveAsItem")->setEnabled(true);
    Item("PalSaveAsItem")->setEnabled(false);
    for (const char* name :
        { "PrintItem", "Copy1", "ConnectItem", "GRotate", "Cxor1", "GLM1", "ClpMnu", "Wall1" })
        Item(U(name))->setEnabled(true);
    for (const char* name : { "CopyBtn", "SaveBtn", "PrintBtn", "MojiBtn", "LineBtn" })
        m_main.Item(U(name))->setEnabled(true);
    UpdateSizeInfo();

    constexpr auto Same = ItemState::Same, Off = ItemState::Off, On = ItemState::On;
    auto row = [this](ItemState dc256, ItemState dc240, ItemState dc16, ItemState mono1,
                   ItemState mono2, ItemState filter, ItemState palSave, ItemState selPal) {
        SetItemStates({ { "DC256", dc256 }, { "DC240", dc240 }, { "DC16", dc16 },
            { "Mono1", mono1 }, { "Mono2", mono2 }, { "Filtter1", filter },
            { "PalSaveAsItem", palSave }, { "SelPalItem", selPal } });
    };
    switch (m_picture.PixelFormat()) {
    case platform::TPixelFormat::pf4bit:
        row(Off, Off, Off, On, On, On, On, Same);
        break;
    case platform::TPixelFormat::pf8bit:
        row(Off, On, On, On, On, On, On, On);
        break;
    case platform::TPixelFormat::pf15bit:
    case platform::TPixelFormat::pf16bit:
    case platform::TPixelFormat::pf32bit:
        row(On, On, On, On, On, Off, Same, Same);
        break;
    case platform::TPixelFormat::pf24bit:
        row(On, On, On, On, On, On, Same, On);
        break;
    default:
        row(Off, Off, Off, Off, Off, Off, Same, Same);
        break;
    }
    ++m_modifiedCount;
}

void TMDIChild::PrintItemClick()
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    dialog.setObjectName(QStringLiteral("PrintDialog1"));
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    if (platform::qt::Dialogs().Exec(dialog) != QDialog::Accepted)
        return;
    printer.setDocName(windowTitle());
    // The page gets a copy of its own, so that nothing done while printing reaches the picture.
    const platform::TBitmap copy = m_picture;
    QPainter painter;
    if (!painter.begin(&printer))
        throw std::runtime_error("Printer is not currently printing");
    const int width = copy.Width();
    const int scale = PrintScale(printer.pageLayout().paintRectPixels(printer.resolution()).width(),
        width, printer.logicalDpiX());
    painter.drawImage(
        QRect(50, 50, scale * width, scale * copy.Height()), render::DisplayImage(copy));
    painter.end();
}

void TMDIChild::Wall1Click()
{
    const QSize screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->size()
                                                          : QSize(1024, 768);
    TDIB wallpaper = MakeWallpaper(
        m_picture, m_main.AppSettings().wall, screen.width(), screen.height(), kDesktopBackground);
    const std::filesystem::path file = platform::DataFolder() / "vtlsaved.bmp";
    // The desktop may be showing the file already: a failed write must leave it whole.
    const std::vector<uint8_t> bytes = wallpaper.SaveToBytes();
    platform::WriteFileAtomically(
        file, { reinterpret_cast<const char*>(bytes.data()), bytes.size() });
    const QString path = QString::fromStdString(file.string());
    if (!platform::qt::SetDesktopWallpaper(path))
        platform::qt::Dialogs().MessageBox(this, QStringLiteral("vtl"),
            U("壁紙の画像を %1 に保存しました。デスクトップの設定で壁紙に指定してください。")
                .arg(path),
            platform::qt::MsgIcon::Information, platform::qt::MsgButtons::Ok);
}

void TMDIChild::Info1Click()
{
    QGuiApplication::clipboard()->setText(QStringLiteral("<img src=\"%1\" width=%2 height=%3>")
                                              .arg(QFileInfo(m_fileName).fileName())
                                              .arg(m_picture.Width())
                                              .arg(m_picture.Height()));
}

} // namespace vtl::document::ui
