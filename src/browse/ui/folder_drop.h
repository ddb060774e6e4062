#pragma once
// Files and folders dropped on a folder of the browser's tree: moved into it, or copied while
// Ctrl is held. Folders are copied with everything in them. A move to another file system is a
// copy followed by the deletion of the original, which happens only once the copy is complete.

#include <QString>
#include <QStringList>

namespace vtl::browse::ui {

struct DropResult {
    int done = 0; // items copied or moved
    QStringList errors; // one text per item that could not be done
};

// Copies or moves each of `sources` into `folder` under its own name. Nothing that exists is
// replaced; an item moved to the folder it is in is left alone (and not counted). An item that
// fails leaves the original where it was and no partial copy behind.
DropResult CopyOrMoveInto(const QStringList& sources, const QString& folder, bool copy);

} // namespace vtl::browse::ui
