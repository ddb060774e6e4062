// The wallpaper command's file: written whole, or the previous one left as it was.

#include "app/ui/main_form.h"
#include "document/ui/mdi_child.h"
#include "input/ui/loading_pipeline.h"
#include "platform/atomic_file.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"

#include <QMdiArea>
#include <cerrno>
#include <gtest/gtest.h>

using vtl::app::ui::TMainForm;
using vtl::document::ui::TMDIChild;
using vtl::platform::TBitmap;
using vtl::platform::TPixelFormat;

namespace {

// Sets an environment variable for the life of the guard (empty: unset).
class EnvGuard {
public:
    EnvGuard(const char* name, const QByteArray& value)
        : m_name(name)
        , m_had(qEnvironmentVariableIsSet(name))
        , m_old(qgetenv(name))
    {
        if (value.isEmpty())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~EnvGuard()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

uint32_t U32At(const std::string& bytes, size_t offset)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | uint8_t(bytes.at(offset + size_t(i)));
    return v;
}

}

TEST(Wallpaper, TheFileIsWrittenWholeOrLeftAsItWas)
{
    vtl::testing::TempDir dir;
    EnvGuard registry("VTL_REGISTRY_DIR", QByteArray::fromStdString(dir.Path().string()));
    EnvGuard home("VTL_HOME", QByteArray::fromStdString(dir.Path().string()));
    // No desktop to tell: the program says where the file is instead.
    EnvGuard desktop("XDG_CURRENT_DESKTOP", {});
    vtl::testing::DialogGuard guard;
    TMainForm form({});
    TBitmap picture(40, 30, TPixelFormat::pf8bit);
    TMDIChild* doc
        = vtl::input::ui::NewDocument(form, picture, "w", "w", 3, TMDIChild::Origin::File);

    guard.dialogs->messageAnswers.push_back(vtl::platform::qt::MsgResult::Ok);
    doc->Wall1Click();
    const std::filesystem::path file = dir / "vtlsaved.bmp";
    ASSERT_EQ(guard.dialogs->messages.size(), 1u);
    EXPECT_TRUE(guard.dialogs->messages[0].text.contains(QString::fromStdString(file.string())));
    // A 256-colour picture goes to the file RLE8-compressed.
    const std::string written = vtl::testing::ReadFile(file);
    ASSERT_GE(written.size(), 54u);
    EXPECT_EQ(written.substr(0, 2), "BM");
    EXPECT_EQ(U32At(written, 18), 40u);
    EXPECT_EQ(U32At(written, 30), 1u);

    // The disk fills up while the next one is written: the previous file stays whole.
    doc->ShowPicture(TBitmap(64, 48), "w", "w", 3);
    vtl::platform::SetRenameFunctionForTesting([](const char*, const char*) {
        errno = ENOSPC;
        return -1;
    });
    EXPECT_THROW(doc->Wall1Click(), std::exception);
    vtl::platform::SetRenameFunctionForTesting({});
    EXPECT_EQ(vtl::testing::ReadFile(file), written);
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        files += entry.path().filename().string().starts_with("vtlsaved");
    EXPECT_EQ(files, 1); // no half-written file beside it
    form.MdiArea()->closeAllSubWindows();
}
