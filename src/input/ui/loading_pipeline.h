#pragma once
// The window side of opening pictures: document windows made, filled and set up from files and
// from pictures made in memory.

#include "document/ui/mdi_child.h"
#include "input/picture_loader.h"
#include "platform/bitmap.h"

#include <QString>

class QMdiSubWindow;

namespace vtl::app::ui {
class TMainForm;
}

namespace vtl::input::ui {

// How the frame's windows decode: the thumbnail size, the palette display and the status panel.
input::DecodeContext FrameDecodeContext(app::ui::TMainForm& main);

// A step's picture (the browser's, or a document's through its folder): true with the picture
// read; false when it can't be read, after showing the reader's message (a silent refusal shows
// nothing), so that the document stays as it was, name and all.
bool ReadStepPicture(
    app::ui::TMainForm& main, const std::filesystem::path& file, platform::TBitmap& picture);

// Open file: a new document (or archive) window for `fileName` at `zoomIndex`, or nullptr when
// nothing claims the file. A name that doesn't exist gives an empty document with that name.
QMdiSubWindow* OpenFile(app::ui::TMainForm& main, const QString& fileName, int zoomIndex);

// A new document window showing `picture` under its file name and caption (see
// TMDIChild::ShowPicture); the frame's buttons follow.
document::ui::TMDIChild* NewDocument(app::ui::TMainForm& main, platform::TBitmap picture,
    const QString& fileName, const QString& caption, int zoomIndex,
    document::ui::TMDIChild::Origin origin);

// New document from buffer: a modified document holding `picture`, named `name` or
// "新規" + (children + 2).
QMdiSubWindow* NewDocumentFromBuffer(
    app::ui::TMainForm& main, platform::TBitmap picture, const QString& name = {});

} // namespace vtl::input::ui
