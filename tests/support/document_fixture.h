#pragma once
// A frame with documents made from pictures, for the tests of the document's commands: dialogs
// are answered through the scripted dialog service, and the registry and data folder are a
// temporary folder.

#include "app/ui/main_form.h"
#include "document/ui/mdi_child.h"
#include "input/ui/loading_pipeline.h"
#include "platform/bitmap.h"
#include "processing/ui/processing_commands.h"
#include "support/same_pixels.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QMdiArea>
#include <gtest/gtest.h>
#include <memory>

namespace vtl::testing {

using app::ui::TMainForm;
using document::ui::TMDIChild;
using platform::Rgb;
using platform::TBitmap;
using platform::TPixelFormat;

// A 24-bit picture of graded colours with a checkerboard in blue.
inline TBitmap Pattern(int width, int height)
{
    TBitmap b(width, height, TPixelFormat::pf24bit);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            b.SetPixel(
                x, y, Rgb(uint8_t(x * 20), uint8_t(y * 30), uint8_t((x + y) % 2 ? 200 : 10)));
    return b;
}


class CommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("VTL_REGISTRY_DIR", QByteArray::fromStdString(m_dir.Path().string()));
        qputenv("VTL_HOME", QByteArray::fromStdString(m_dir.Path().string()));
        // Pictures decoded ahead on other threads would take the faults tests arm for the next
        // read or allocation; the tests of decoding ahead turn it on.
        qputenv("VTL_DECODE_AHEAD", "0");
    }
    void TearDown() override
    {
        // Destroyed without closing: documents changed by a test ask nothing.
        m_form.reset();
        qunsetenv("VTL_REGISTRY_DIR");
        qunsetenv("VTL_DECODE_AHEAD");
        qputenv("VTL_HOME", m_oldHome);
    }
    void MakeForm()
    {
        m_form = std::make_unique<TMainForm>(QStringList {});
        m_form->resize(1000, 800);
        m_form->show();
    }
    TMDIChild& Document(TBitmap picture)
    {
        if (!m_form)
            MakeForm();
        TMDIChild* child = vtl::input::ui::NewDocument(*m_form, std::move(picture),
            QStringLiteral("test"), QStringLiteral("test"), 3, TMDIChild::Origin::File);
        processing::ui::WireProcessingCommands(*child, *m_form);
        return *child;
    }
    // Another program's picture on the clipboard, which makes pasting possible.
    static void OfferPictureOnClipboard()
    {
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::blue);
        QGuiApplication::clipboard()->setImage(image);
        QCoreApplication::processEvents();
    }
    // The document before the command: nothing to undo, nothing modified.
    void ExpectUntouched(TMDIChild& doc, const TBitmap& original)
    {
        EXPECT_TRUE(SamePixels(doc.Picture(), original));
        EXPECT_EQ(doc.ModifiedCount(), 0);
        EXPECT_TRUE(doc.UndoPicture().Empty());
        EXPECT_FALSE(doc.Item("Undo1")->isEnabled());
    }
    void ExpectOneChange(TMDIChild& doc, const TBitmap& original)
    {
        EXPECT_EQ(doc.ModifiedCount(), 1);
        EXPECT_TRUE(SamePixels(doc.UndoPicture(), original));
        EXPECT_TRUE(doc.Item("Undo1")->isEnabled());
        EXPECT_TRUE(m_form->Item("UndoBtn")->isEnabled());
        EXPECT_TRUE(m_form->StatusText().isEmpty()) << "panel 0 is cleared at the end";
    }

    TempDir m_dir;
    QByteArray m_oldHome = qgetenv("VTL_HOME");
    DialogGuard m_guard;
    std::unique_ptr<TMainForm> m_form;
};

} // namespace vtl::testing
