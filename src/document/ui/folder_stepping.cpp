#include "document/ui/folder_stepping.h"

#include "browse/folder_listing.h"
#include "document/ui/mdi_child.h"
#include "input/picture_loader.h"
#include "input/ui/loading_pipeline.h"
#include "platform/qt/dialog_service.h"
#include "platform/qt/wait_cursor.h"

#include <QDir>
#include <QFileInfo>
#include <QMdiArea>

namespace vtl::document::ui {

namespace fs = std::filesystem;

namespace {
    fs::path FsPath(const QString& path) { return fs::path(path.toStdString()); }

    bool DecodingAheadOn() { return qgetenv("VTL_DECODE_AHEAD") != "0"; }
}

TFolderStepper::TFolderStepper(app::ui::TMainForm& main, TMDIChild& document)
    : m_main(main)
    , m_document(document)
{
}

TFolderStepper::~TFolderStepper() = default;

QString TFolderStepper::Position() const
{
    const QString name = m_document.FileName();
    return name == m_anchor && !m_cursor.isEmpty() ? m_cursor : name;
}

bool TFolderStepper::CanStep() const
{
    // New pictures, scans and archive members carry a bare name, not a path.
    const QString name = m_document.FileName();
    return QDir::isAbsolutePath(name) && QFileInfo(QFileInfo(name).absolutePath()).isDir();
}

std::vector<std::string> TFolderStepper::Pictures(const QString& folder) const
{
    input::PluginRegistry& plugins = m_main.Plugins();
    return browse::ListFolderPictures(
        FsPath(folder),
        [&plugins](std::string_view name) {
            return plugins.PictureExtensions().FindEntry(std::string(name), 0);
        },
        m_main.AppSettings().naturalOrder);
}

void TFolderStepper::StepPicture(QMdiSubWindow* active, bool forward)
{
    if (active != &m_document || !CanStep())
        return;
    const QFileInfo position(Position());
    const std::vector<std::string> names = Pictures(position.absolutePath());
    const auto index = browse::StepIndex(names, position.fileName().toStdString(), forward,
        m_main.AppSettings().naturalOrder);
    if (!index)
        return; // no picture in the folder
    const QString file
        = QDir(position.absolutePath()).filePath(QString::fromStdString(names[*index]));
    m_cursor = file;
    ShowFile(file);
    m_anchor = m_document.FileName();
    DecodeAheadAfterPaint();
}

void TFolderStepper::ShowFile(const QString& file)
{
    platform::qt::WaitCursor wait;
    const QFileInfo info(file);
    if (!info.exists()) {
        // A file gone since the folder was read: only the name changes.
        m_document.Rename(file, info.fileName());
        m_main.setWindowTitle(info.fileName() + QStringLiteral(" - Vistrel"));
        return;
    }
    if (std::optional<platform::TBitmap> ready = m_ahead.Take(FsPath(file))) {
        ++m_stepsFromAhead;
        m_document.StepTo(std::move(*ready), file, info.fileName());
        return;
    }
    // As the browser reads its pictures: a file that can't be read leaves the document as it
    // was, name and all.
    platform::TBitmap picture;
    if (!input::ui::ReadStepPicture(m_main, FsPath(file), picture))
        return;
    m_document.StepTo(std::move(picture), file, info.fileName());
}

void TFolderStepper::DecodeAhead()
{
    // Decoding ahead only saves time: when it can't start, the step reads the file as before.
    // (This runs when the window becomes active, where nothing may be thrown.)
    try {
        KeepNeighbours();
    } catch (const std::exception&) {
        m_ahead.Clear();
    }
}

void TFolderStepper::KeepNeighbours()
{
    // Only the active document holds pictures ahead.
    if (!DecodingAheadOn() || !CanStep() || m_main.MdiArea()->activeSubWindow() != &m_document) {
        m_ahead.Clear();
        return;
    }
    const QFileInfo position(Position());
    const QDir folder(position.absolutePath());
    const std::vector<std::string> names = Pictures(folder.path());
    const std::string current = position.fileName().toStdString();
    const bool natural = m_main.AppSettings().naturalOrder;
    std::vector<fs::path> wanted;
    for (bool forward : { true, false }) {
        const auto index = browse::StepIndex(names, current, forward, natural);
        if (!index || names[*index] == current)
            continue; // the folder holds this picture alone
        // Plug-in formats wait for the step: the frame's registry is not for other threads.
        const input::DecoderChoice choice = input::ChooseDecoder(m_main.Plugins(), names[*index]);
        if (choice != input::DecoderChoice::Bmp && choice != input::DecoderChoice::Jpeg
            && choice != input::DecoderChoice::Png)
            continue;
        const fs::path file = FsPath(folder.filePath(QString::fromStdString(names[*index])));
        if (std::find(wanted.begin(), wanted.end(), file) == wanted.end())
            wanted.push_back(file);
    }
    m_ahead.Keep(wanted, input::ui::FrameDecodeContext(m_main));
}

void TFolderStepper::DecodeAheadAfterPaint()
{
    // Posted behind the repaint of the new picture: a step shows its picture before the workers
    // take the processor. The document is the context, so a closed one is never reached.
    QMetaObject::invokeMethod(
        &m_document, [this] { DecodeAhead(); }, Qt::QueuedConnection);
}

void TFolderStepper::Release() { m_ahead.Clear(); }

} // namespace vtl::document::ui
