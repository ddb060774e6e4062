// Test programs for windows: one QApplication (offscreen) for all tests.
#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The association command writes the desktop's defaults: never into the real user's folders.
    QTemporaryDir xdg;
    qputenv("XDG_CONFIG_HOME", (xdg.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (xdg.path() + "/data").toUtf8());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
