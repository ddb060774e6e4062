#pragma once
// The document's rotation, reduction, resize and clip commands, and the frame's join command.

namespace vtl::app::ui {
class TMainForm;
}
namespace vtl::document::ui {
class TMDIChild;
}

namespace vtl::processing::ui {

void WireGeometryCommands(document::ui::TMDIChild& document, app::ui::TMainForm& main);

// The join command (`ConnectItem` of every document forwards here): the active document's picture
// joined with one chosen in `TConnectDlg` becomes a new document.
void ConnectItemClick(app::ui::TMainForm& main);

} // namespace vtl::processing::ui
