#pragma once
// The document's rotation and reduction commands that need no dialog of their own (and the
// any-angle rotation with the value input dialog).

namespace vtl::app::ui {
class TMainForm;
}
namespace vtl::document::ui {
class TMDIChild;
}

namespace vtl::processing::ui {

void WireGeometryCommands(document::ui::TMDIChild& document, app::ui::TMainForm& main);

} // namespace vtl::processing::ui
