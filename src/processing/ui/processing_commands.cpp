#include "processing/ui/processing_commands.h"

#include "app/ui/main_form.h"
#include "document/ui/mdi_child.h"
#include "document/ui/trk_shape.h"
#include "platform/qt/dialog_service.h"
#include "platform/qt/wait_cursor.h"
#include "processing/block_filters.h"
#include "processing/colour_adjustment.h"
#include "processing/point_operations.h"
#include "processing/ui/emb_dialog.h"
#include "processing/ui/hsi_dialog.h"
#include "processing/ui/input_dialog.h"
#include "processing/ui/smono_dialog.h"
#include "processing/ui/ufil_dialog.h"

#include <QAction>
#include <QCursor>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>

namespace vtl::processing::ui {

using app::ui::TMainForm;
using document::ui::TMDIChild;
using platform::TBitmap;
using platform::qt::Dialogs;

namespace {
    QString U(const char* s) { return QString::fromUtf8(s); }

    // Captions and hints of the filter menus as the user sees them; an empty hint keeps the
    // document's own.
    struct ItemText {
        const char* name;
        const char* caption;
        const char* hint;
    };
    const ItemText kItemTexts[] = {
        { "Filtter1", "フィルタ(&T)",
            "フィルタに関するコマンドです。（一部を除きフルカラー化してから変換します）" },
        { "Gray1", "グレースケール(&G)", "" },
        { "Sepia1", "セピア(&P)", "" },
        { "Sepia2", "100%", "" },
        { "Sepia3", "75%", "" },
        { "Sepia4", "50%", "" },
        { "Cxor1", "色反転(&X)", "" },
        { "Mono2", "２値化", "" },
        { "Gauss1", "ぼかし(&B)", "" },
        { "Gauss2", "小", "画像をぼかします。" },
        { "Gauss3", "大", "大きく画像をぼかします。" },
        { "Sharp1", "シャープ(&S)", "画像をシャープにします。" },
        { "enboss1", "浮き彫り(&E)", "画像を浮き彫り調にします。" },
        { "Edge1", "輪郭(&R)",
            "画像の輪郭を抽出します。グレースケール化を行ってから実行してください。（とりあえずR,"
            "G,B毎に抽出してますが）" },
        { "Edge2", "輪郭線(&L)",
            "画像の輪郭を線として抽出します。グレースケール化を行ってから実行してください。（Bの値"
            "で抽出してます）" },
        { "Median1", "メディアン(&D)", "画像にメディアンフィルタをかけます。" },
        { "Oil1", "油絵(&O)", "" },
        { "Oil2", "小", "画像を油絵調にします。" },
        { "Oil3", "大", "大まかに画像を油絵調にします。" },
        { "Mosaic1", "モザイク(&M)", "画像を指定サイズでモザイク化します。" },
        { "ChgRgb", "ＲＧＢ調整(&R)", "ＲＧＢを調整します。" },
        { "ChgHsi", "明度/彩度/色相調整(&H)", "明度/彩度/色相を調整します。" },
        { "N14", "ユーザーフィルタ(&U)", "ユーザーで定義したフィルタです。" },
    };

    const char* const kMosaicPrompt = "モザイクサイズの入力";
    constexpr int kMosaicInitial = 10, kMosaicMin = 1, kMosaicMax = 256;


    class StateHolder : public QObject {
    public:
        explicit StateHolder(QObject* parent)
            : QObject(parent)
        {
            setObjectName(QStringLiteral("ProcessingState"));
        }
        ProcessingState state;
        bool loaded = false;
    };

    StateHolder& Holder(TMainForm& main)
    {
        auto* holder = dynamic_cast<StateHolder*>(main.findChild<QObject*>(
            QStringLiteral("ProcessingState"), Qt::FindDirectChildrenOnly));
        if (!holder)
            holder = new StateHolder(&main);
        return *holder;
    }

    QMenu* FilterPopUp(TMainForm& main)
    {
        return main.findChild<QMenu*>(QStringLiteral("FilterPopUp"));
    }

    void Mono2Click(TMDIChild& document, TMainForm& main)
    {
        TSMonoDlg dialog(&document);
        dialog.SetLev1(main.AppSettings().lev);
        if (!AskOnPointer(dialog, main))
            return;
        main.AppSettings().lev = dialog.Lev1();
        const int threshold = dialog.Lev1();
        RunOnDocument(document, main, [threshold](TBitmap& p, TBitmap* u, const ProcessContext& c) {
            return Binarise(p, u, threshold, c);
        });
    }

    void enboss1Click(TMDIChild& document, TMainForm& main)
    {
        EmbossSettings& kept = StateOf(main).emboss;
        TembDlg dialog(&document);
        dialog.SetSettings(kept);
        if (!AskOnPointer(dialog, main))
            return;
        kept = dialog.Settings();
        const EmbossSettings settings = kept;
        RunOnDocument(document, main, [settings](TBitmap& p, TBitmap* u, const ProcessContext& c) {
            return Emboss(p, u, settings, c);
        });
    }

    void MosaicClick(TMDIChild& document, TMainForm& main)
    {
        const auto size = InputInteger(
            &document, main.WorkArea(), U(kMosaicPrompt), kMosaicInitial, kMosaicMin, kMosaicMax);
        if (!size)
            return;
        std::optional<TRect> area;
        if (!document.Shape()->isHidden()) {
            area = MosaicAreaFromSelection(document.Selection, document.ZoomIndex,
                document.Picture().Width(), document.Picture().Height());
            // A selection that lies wholly off the picture leaves nothing to cover.
            if (!area)
                return;
        }
        const int blockSize = *size;
        RunOnDocument(
            document, main, [blockSize, area](TBitmap& p, TBitmap* u, const ProcessContext& c) {
                return Mosaic(p, u, blockSize, area, c);
            });
    }

    void AdjustClick(TMDIChild& document, TMainForm& main, HsiMode mode)
    {
        THsiDialog dialog(mode, main.PaletteDisplayFlag(), &document);
        dialog.SetPicture(document.Picture());
        if (!AskOnPointer(dialog, main))
            return;
        const AdjustParams params = dialog.Params();
        RunOnDocument(
            document, main, [params, mode](TBitmap& p, TBitmap* u, const ProcessContext& c) {
                return mode == HsiMode::Rgb ? AdjustRgb(p, u, params, c)
                                            : AdjustHsi(p, u, params, c);
            });
    }

    void N14Click(TMainForm& main)
    {
        QMenu* popup = FilterPopUp(main);
        if (!popup || StateOf(main).filters.Count() == 0)
            return;
        popup->popup(QCursor::pos());
    }

    TMDIChild* ActiveDocument(TMainForm& main)
    {
        QMdiSubWindow* window = main.MdiArea()->activeSubWindow();
        if (!window)
            window = main.MdiArea()->currentSubWindow();
        return dynamic_cast<TMDIChild*>(window);
    }
}

FramePanelSink::FramePanelSink(TMainForm& main)
    : m_main(main)
{
}

void FramePanelSink::ShowStatus(std::string_view text)
{
    m_main.SetStatusText(QString::fromUtf8(text.data(), qsizetype(text.size())));
}

bool AskOnPointer(QDialog& dialog, TMainForm& main)
{
    PlaceOnPointer(dialog, main.WorkArea());
    return Dialogs().Exec(dialog) == QDialog::Accepted;
}

ProcessingState& StateOf(TMainForm& main)
{
    StateHolder& holder = Holder(main);
    if (!holder.loaded) {
        holder.loaded = true;
        if (holder.state.filters.Load(TFilter::FilePath()))
            RebuildFilterPopUp(main);
    }
    return holder.state;
}

void LoadUserFilters(TMainForm& main) { StateOf(main); }

void RebuildFilterPopUp(TMainForm& main)
{
    QMenu* popup = FilterPopUp(main);
    if (!popup)
        return;
    popup->clear();
    const TFilter& filters = Holder(main).state.filters;
    for (size_t i = 0; i < filters.Count(); ++i) {
        QAction* item = popup->addAction(QString::fromStdString(filters.Names()[i]));
        const int index = int(i);
        item->setData(index);
        QObject::connect(item, &QAction::triggered, &main,
            platform::qt::Guarded(&main, [&main, index] { UsrFilterClick(main, index); }));
    }
}

void UsrFilterClick(TMainForm& main, int index)
{
    TMDIChild* document = ActiveDocument(main);
    if (!document || index < 0)
        return;
    TFilter& filters = StateOf(main).filters;
    RunOnDocument(
        *document, main, [&filters, index](TBitmap& p, TBitmap* u, const ProcessContext& c) {
            return filters.Apply(p, u, size_t(index), c);
        });
}

void OpenUserFilterDialog(TMainForm& main)
{
    TFilter& filters = StateOf(main).filters;
    TUFilDlg dialog(filters.Names(), filters.Data(), &main);
    if (!AskOnPointer(dialog, main))
        return;
    filters.SetLists(dialog.Names(), dialog.Data());
    RebuildFilterPopUp(main);
    if (dialog.Modified())
        filters.Save(TFilter::FilePath());
}

bool RunOnDocument(TMDIChild& document, TMainForm& main, const Operation& op)
{
    return document.ApplyOperation([&main, &op](TBitmap& picture, TBitmap* undo) {
        platform::qt::WaitCursor wait;
        FramePanelSink sink(main);
        return op(picture, undo, ProcessContext { &sink, main.PaletteDisplayFlag() });
    });
}

void WireProcessingCommands(TMDIChild& document, TMainForm& main)
{
    // A second wiring would run every command twice.
    if (document.property("processingWired").toBool())
        return;
    document.setProperty("processingWired", true);
    for (const ItemText& t : kItemTexts) {
        QAction* item = document.Item(U(t.name));
        if (!item)
            continue;
        item->setText(U(t.caption));
        if (*t.hint)
            item->setStatusTip(U(t.hint));
    }
    StateOf(main);

    TMDIChild* doc = &document;
    TMainForm* frame = &main;
    auto on = [doc](const char* name, std::function<void()> handler) {
        if (QAction* item = doc->Item(U(name)))
            QObject::connect(item, &QAction::triggered, doc, platform::qt::Guarded(doc, handler));
    };
    auto plain = [doc, frame, &on](const char* name, Operation op) {
        on(name, [doc, frame, op] { RunOnDocument(*doc, *frame, op); });
    };

    plain("Gray1",
        [](TBitmap& p, TBitmap* u, const ProcessContext& c) { return GrayScale(p, u, c); });
    const std::pair<const char*, SepiaStrength> sepia[] = { { "Sepia2", SepiaStrength::Full },
        { "Sepia3", SepiaStrength::ThreeQuarters }, { "Sepia4", SepiaStrength::Half } };
    for (const auto& [name, strength] : sepia) {
        doc->Item(U(name))->setData(int(strength));
        plain(name, [s = strength](TBitmap& p, TBitmap* u, const ProcessContext& c) {
            return Sepia(p, u, s, c);
        });
    }
    plain("Cxor1",
        [](TBitmap& p, TBitmap* u, const ProcessContext& c) { return InvertColours(p, u, c); });
    on("Mono2", [doc, frame] { Mono2Click(*doc, *frame); });

    const std::pair<const char*, BlurSize> blur[]
        = { { "Gauss2", BlurSize::Small }, { "Gauss3", BlurSize::Large } };
    for (const auto& [name, size] : blur) {
        doc->Item(U(name))->setData(int(size));
        // Every click overwrites the program's blur size with the item's.
        on(name, [doc, frame, s = size] {
            StateOf(*frame).blurSize = s;
            RunOnDocument(*doc, *frame,
                [s](TBitmap& p, TBitmap* u, const ProcessContext& c) { return Blur(p, u, s, c); });
        });
    }
    plain(
        "Sharp1", [](TBitmap& p, TBitmap* u, const ProcessContext& c) { return Sharpen(p, u, c); });
    on("enboss1", [doc, frame] { enboss1Click(*doc, *frame); });
    plain("Edge1", [](TBitmap& p, TBitmap* u, const ProcessContext& c) { return Edge(p, u, c); });
    plain("Edge2",
        [](TBitmap& p, TBitmap* u, const ProcessContext& c) { return ContourLines(p, u, c); });
    plain(
        "Median1", [](TBitmap& p, TBitmap* u, const ProcessContext& c) { return Median(p, u, c); });
    const std::pair<const char*, OilSize> oil[]
        = { { "Oil2", OilSize::Small }, { "Oil3", OilSize::Large } };
    for (const auto& [name, size] : oil) {
        doc->Item(U(name))->setData(int(size));
        plain(name, [s = size](TBitmap& p, TBitmap* u, const ProcessContext& c) {
            return OilPaint(p, u, s, c);
        });
    }
    on("Mosaic1", [doc, frame] { MosaicClick(*doc, *frame); });
    on("ChgRgb", [doc, frame] { AdjustClick(*doc, *frame, HsiMode::Rgb); });
    on("ChgHsi", [doc, frame] { AdjustClick(*doc, *frame, HsiMode::Hsi); });
    on("N14", [frame] { N14Click(*frame); });
}

} // namespace vtl::processing::ui
