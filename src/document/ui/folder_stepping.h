#pragma once
// Stepping a document through the pictures of its own folder: what serves ◀ ▶ and the slide show
// for a picture opened from a file (the command line, the open dialog, a drop, an open request)
// rather than from the thumbnail browser or an archive window. The folder is listed as the browser
// lists it; its order is the browser's listing order, or natural order when the setting says so.
// While the document is the active one, the pictures before and after it are decoded ahead.

#include "app/ui/main_form.h"
#include "input/ui/neighbour_cache.h"

#include <QString>
#include <string>
#include <vector>

namespace vtl::document::ui {

class TMDIChild;

class TFolderStepper : public app::ui::NavigationSource {
public:
    TFolderStepper(app::ui::TMainForm& main, TMDIChild& document);
    ~TFolderStepper() override;
    TFolderStepper(const TFolderStepper&) = delete;
    TFolderStepper& operator=(const TFolderStepper&) = delete;

    // Whether the document's file name stands in a folder that exists (the file itself may have
    // been renamed or deleted since).
    bool CanStep() const;
    // NavigationSource: the previous or next picture of the folder replaces the document's
    // picture (the frame has asked about unsaved changes). A picture that can't be read is
    // reported and the document kept; the next step goes on from the picture that failed.
    void StepPicture(QMdiSubWindow* active, bool forward) override;

    // Starts decoding the pictures before and after the document's in the background, keeping
    // what is already decoded of them. Nothing when decoding ahead is off (VTL_DECODE_AHEAD=0) or
    // the document is not the active one.
    void DecodeAhead();
    // The same once the events waiting now, the new picture's paint among them, have run.
    void DecodeAheadAfterPaint();
    // Drops what was decoded ahead (the document is no longer the active one).
    void Release();

    // Tests: the decodes held for the neighbours, and the steps that found their picture there.
    const input::ui::NeighbourCache& Ahead() const { return m_ahead; }
    int StepsFromAhead() const { return m_stepsFromAhead; }

private:
    // The file the next step goes from: the document's, or after a failed step the picture that
    // failed.
    QString Position() const;
    std::vector<std::string> Pictures(const QString& folder) const;
    void ShowFile(const QString& file);
    void KeepNeighbours();

    app::ui::TMainForm& m_main;
    TMDIChild& m_document;
    input::ui::NeighbourCache m_ahead;
    QString m_anchor; // the document's file name after the last step
    QString m_cursor; // the file that step went to
    int m_stepsFromAhead = 0;
};

} // namespace vtl::document::ui
