// The text tool on a 256-colour picture, through the document's own click handling.

#include "app/ui/main_form.h"
#include "document/ui/image_view.h"
#include "document/ui/mdi_child.h"
#include "input/ui/loading_pipeline.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"

#include <QFontDatabase>
#include <QLineEdit>
#include <QMdiArea>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>

using vtl::app::ui::TMainForm;
using vtl::document::ui::TMDIChild;
using vtl::platform::Rgb;
using vtl::platform::TBitmap;
using vtl::platform::TPixelFormat;

namespace {

// The text typed at (4, 4) of a green picture; returns the picture afterwards.
TBitmap TypeText(TMainForm& form, vtl::testing::ScriptedDialogs& dialogs, TBitmap picture)
{
    auto* doc = dynamic_cast<TMDIChild*>(
        vtl::input::ui::NewDocumentFromBuffer(form, std::move(picture), QStringLiteral("text")));
    doc->SetZoom(3);
    form.Item("MojiBtn")->setEnabled(true);
    form.Item("MojiBtn")->setChecked(true);
    dialogs.dialogAnswers.push_back([](QDialog& d) {
        d.findChild<QLineEdit*>("edInp")->setText(QStringLiteral("Hi il1| Hi"));
        d.accept();
        return int(QDialog::Accepted);
    });
    QTest::mouseClick(doc->Image1(), Qt::LeftButton, {}, QPoint(4, 4));
    TBitmap result = doc->Picture();
    dialogs.messageAnswers.push_back(vtl::platform::qt::MsgResult::No);
    doc->close();
    return result;
}

// The longest run of pixels in column x, from the top, for which `ink` holds.
template <typename Ink> int LongestRun(const TBitmap& b, int x, Ink ink)
{
    int longest = 0, run = 0;
    for (int y = 0; y < b.Height(); ++y) {
        run = ink(b.Pixel(x, y)) ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

}

// A 256-colour picture can't hold the blend of a smoothed edge: each blended pixel takes the
// nearest palette colour, which on a thin stroke is the background, and the stroke is lost.
TEST(TextTool, EveryStrokeSurvivesOnAPalettePicture)
{
    // The program's own interface font here, whose thin stems fall between two pixels.
    if (!QFontDatabase::families().contains(QStringLiteral("IPAGothic")))
        GTEST_SKIP() << "the IPAGothic font (fonts-ipafont-gothic) is not installed";
    vtl::testing::TempDir dir;
    qputenv("VTL_REGISTRY_DIR", QByteArray::fromStdString(dir.Path().string()));
    vtl::testing::DialogGuard guard;
    TMainForm form({});
    form.show();
    form.TextToolFont() = QFont(QStringLiteral("IPAGothic"), 9);

    TBitmap deep(60, 30);
    deep.Canvas().Brush.Color = Rgb(0, 255, 0);
    deep.Canvas().FillRect({ 0, 0, 60, 30 });
    const TBitmap deepText = TypeText(form, *guard.dialogs, deep);

    // Black, grey and the colour-bar colours, as in a 256-colour picture, on green.
    TBitmap paletted(60, 30, TPixelFormat::pf8bit);
    const std::vector<vtl::platform::PaletteEntry> bars
        = { { 0, 0, 0, 0 }, { 127, 127, 127, 0 }, { 255, 0, 0, 0 }, { 0, 255, 0, 0 },
              { 255, 255, 0, 0 }, { 0, 0, 255, 0 }, { 255, 0, 255, 0 }, { 0, 255, 255, 0 } };
    paletted.SetPalette(bars);
    for (int y = 0; y < 30; ++y)
        std::fill_n(paletted.ScanLine(y), 60, uint8_t(3));
    const TBitmap palettedText = TypeText(form, *guard.dialogs, paletted);

    // Each upright stroke of the smoothed text (four or more tinted pixels in a column) is a
    // black stroke on the paletted picture, give or take a column.
    auto tinted = [](vtl::platform::TColor c) { return vtl::platform::GetGValue(c) < 200; };
    auto black = [](vtl::platform::TColor c) { return c == 0; };
    int strokes = 0;
    for (int x = 1; x < 59; ++x) {
        if (LongestRun(deepText, x, tinted) < 4)
            continue;
        ++strokes;
        const int kept = std::max({ LongestRun(palettedText, x - 1, black),
            LongestRun(palettedText, x, black), LongestRun(palettedText, x + 1, black) });
        EXPECT_GE(kept, 4) << "the stroke in column " << x << " is lost";
    }
    EXPECT_GT(strokes, 8);
    qunsetenv("VTL_REGISTRY_DIR");
}
