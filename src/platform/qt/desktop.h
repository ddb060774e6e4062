#pragma once
// The desktop's own settings that the program changes.

#include <QString>

namespace vtl::platform::qt {

// Sets the desktop background to the picture file through the desktop's own setting (GNOME,
// Cinnamon, MATE, Xfce or KDE). False when no such desktop answers.
bool SetDesktopWallpaper(const QString& file);

} // namespace vtl::platform::qt
