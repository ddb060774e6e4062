#pragma once
// The desktop as the program sees it.

#include "platform/geometry.h"

class QWidget;

namespace vtl::platform::qt {

// The primary screen's area without panels and task bars, or (0, 0, 640, 480) with no screen.
TRect PrimaryWorkArea();

// Places `dialog` centred on the mouse pointer (halves rounded toward zero), then pulls it into
// the work area as the main window is pulled at start-up.
void CentreOnPointer(QWidget& dialog, const TRect& workArea);

} // namespace vtl::platform::qt
