#include "processing/ui/geometry_commands.h"

#include "app/ui/main_form.h"
#include "document/ui/mdi_child.h"
#include "platform/qt/dialog_service.h"
#include "processing/reduce256.h"
#include "processing/rotate.h"
#include "processing/ui/input_dialog.h"
#include "processing/ui/processing_commands.h"

#include <QAction>

namespace vtl::processing::ui {

using app::ui::TMainForm;
using document::ui::TMDIChild;

void WireGeometryCommands(TMDIChild& document, TMainForm& main)
{
    TMDIChild* doc = &document;
    TMainForm* frame = &main;
    auto on = [doc](const char* name, auto body) {
        QObject::connect(doc->Item(QString::fromUtf8(name)), &QAction::triggered, doc,
            platform::qt::Guarded(doc, body));
    };
    auto run = [doc, frame](Operation op) { RunOnDocument(*doc, *frame, op); };
    on("L1", [run] { run(RotateLeft); });
    on("R1", [run] { run(RotateRight); });
    on("N180R1", [run] { run(Rotate180); });
    on("R2", [run, doc] {
        std::string refusal;
        run([&refusal](platform::TBitmap& p, platform::TBitmap* u, const ProcessContext& c) {
            return FlipVertical(p, u, c, &refusal);
        });
        if (!refusal.empty())
            platform::qt::ShowError(doc, QString::fromStdString(refusal));
    });
    on("N15", [run, doc, frame] {
        auto angle = InputReal(doc, frame->WorkArea(), QStringLiteral("回転/角度の入力"), 0, -180, 180);
        if (!angle)
            return;
        const double value = *angle;
        run([value](platform::TBitmap& p, platform::TBitmap* u, const ProcessContext& c) {
            return RotateByAngle(p, u, value, c);
        });
    });
    on("DC240", [run] { run(ReduceSys240); });
    on("Mono1", [run] { run(ReduceMonochrome); });
}

} // namespace vtl::processing::ui
