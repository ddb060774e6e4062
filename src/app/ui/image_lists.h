#pragma once
// The program's tool and menu images, drawn here rather than loaded from files.

#include <QIcon>
#include <QPixmap>

namespace vtl::app::ui {

// Image `index` of the main image list (0 save, 1 print, ... 21 line colour, 38 scan).
QIcon ToolImage(int index);
QPixmap ToolPixmap(int index, int size = 16);

// Colour sample `index` 0 to 15 of the line-colour list.
QIcon ColourSample(int index);

// The program's icon.
QIcon ApplicationIcon();

} // namespace vtl::app::ui
