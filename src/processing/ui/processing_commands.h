#pragma once
// The processing commands of a document window: each menu item of the filter menus runs its
// dialog (if any), then the operation under the wait cursor with the status texts in the frame's
// first panel, and on success counts a modification, redraws and enables undo. Also the user
// filters: the frame's pop-up menu of them, applying one, and their editor.

#include "processing/neighbourhood_filters.h"
#include "processing/processing_frame.h"
#include "processing/reduce16.h"
#include "processing/reduce256.h"
#include "processing/user_filters.h"

#include <functional>

class QDialog;

namespace vtl::app::ui {
class TMainForm;
}
namespace vtl::document::ui {
class TMDIChild;
}

namespace vtl::processing::ui {

// Sets the captions and hints of the document's processing items and connects them.
void WireProcessingCommands(document::ui::TMDIChild& document, app::ui::TMainForm& main);

// What the frame keeps for the processing commands while the program runs: the user filters, the
// emboss, blur and oil-paint choices and the reduction dialogs' choices. Made, and the filter file
// read, on first use.
struct ProcessingState {
    TFilter filters;
    EmbossSettings emboss;
    BlurSize blurSize = BlurSize::Small;
    D256Palette d256Palette = D256Palette::Dynamic;
    bool d256Dither = false;
    D16Method d16Method = D16Method::Dynamic1;
    bool d16Dither = false;
};
ProcessingState& StateOf(app::ui::TMainForm& main);

// Panel 0 of the frame, repainted at once by the frame.
class FramePanelSink : public TStatusSink {
public:
    explicit FramePanelSink(app::ui::TMainForm& main);
    void ShowStatus(std::string_view text) override;

private:
    app::ui::TMainForm& m_main;
};

// Runs a parameter dialog modally, centred on the pointer inside the work area; true on OK.
bool AskOnPointer(QDialog& dialog, app::ui::TMainForm& main);

// Reads the user filter file (when it exists) and rebuilds the frame's `FilterPopUp` from it.
void LoadUserFilters(app::ui::TMainForm& main);
// `FilterPopUp` gets one item per filter: the name as caption, the index as tag.
void RebuildFilterPopUp(app::ui::TMainForm& main);
// `UsrFilterClick`: applies filter `index` to the active document.
void UsrFilterClick(app::ui::TMainForm& main, int index);
// `Filter1Click`'s editor: on OK the lists and the pop-up are replaced, and the file is written
// when anything changed.
void OpenUserFilterDialog(app::ui::TMainForm& main);

// The frame of every command: wait cursor, status texts, the operation on the picture with the
// undo picture; on true one more modification, the redraw and undo enabled. Returns the result.
using Operation
    = std::function<bool(platform::TBitmap&, platform::TBitmap*, const ProcessContext&)>;
bool RunOnDocument(
    document::ui::TMDIChild& document, app::ui::TMainForm& main, const Operation& op);

} // namespace vtl::processing::ui
