#pragma once
// The desktop's trash, laid out as the freedesktop trash rules have it: a file or folder is
// renamed into the "files" folder of a trash directory, beside an "info/NAME.trashinfo" file that
// records where it came from and when, so that a file manager can put it back.
//
// The home trash is $XDG_DATA_HOME/Trash (~/.local/share/Trash), made with its parents when
// missing. An item on another file system than the home trash goes to the trash of its own mount:
// $topdir/.Trash/$uid when the administrator provides a sticky $topdir/.Trash, else
// $topdir/.Trash-$uid. Nothing is ever copied: an item that can't be renamed into a trash stays
// where it is.

#include <QString>

namespace vtl::platform::qt {

struct TrashResult {
    bool moved = false;
    QString trashedPath; // where the item now is (inside "files")
    QString error; // why it stayed, for the user
};

// Moves a file, folder or symbolic link (the link itself) to the trash.
TrashResult MoveToTrash(const QString& path);

// The home trash directory, whether it exists yet or not.
QString HomeTrashPath();

} // namespace vtl::platform::qt
