// The program as a process: one instance at a time, and a picture of its window.
#include "platform/bitmap.h"
#include "support/temp_dir.h"

#include <QElapsedTimer>
#include <QColor>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <gtest/gtest.h>

using vtl::testing::TempDir;

namespace {

class ProgramTest : public ::testing::Test {
protected:
    QProcess* Start(QStringList arguments = {}, const QString& screenshot = {},
        const QString& program = QStringLiteral(VTL_BINARY_DIR "/src/vtl"))
    {
        auto* p = new QProcess;
        m_processes.emplace_back(p);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        // A private runtime folder, so that no other vtl (or test) holds this lock.
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(m_runtime.Path().string()));
        env.insert("VTL_HOME", QString::fromStdString(m_home.Path().string()));
        env.remove("VTL_REGISTRY_DIR");
        if (!screenshot.isEmpty())
            env.insert("VTL_SCREENSHOT", screenshot);
        p->setProcessEnvironment(env);
        p->setWorkingDirectory(QString::fromStdString(m_home.Path().string()));
        p->start(program, arguments);
        EXPECT_TRUE(p->waitForStarted(5000));
        return p;
    }
    // Waits until the first instance holds its lock (it has written nothing else yet).
    void WaitForLock()
    {
        QElapsedTimer t;
        t.start();
        while (!std::filesystem::exists(m_runtime / "Tamsol_vtl") && t.elapsed() < 10000)
            QThread::msleep(20);
        QThread::msleep(200);
    }
    ~ProgramTest() override
    {
        for (auto& p : m_processes) {
            p->kill();
            p->waitForFinished(5000);
        }
    }

    TempDir m_runtime;
    TempDir m_home;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

}

TEST_F(ProgramTest, SecondStartEndsAtOnceAndAKilledFirstLeavesNoLock)
{
    QProcess* first = Start();
    WaitForLock();
    ASSERT_EQ(first->state(), QProcess::Running);

    QElapsedTimer t;
    t.start();
    QProcess* second = Start({ QStringLiteral("/some/picture.bmp") });
    ASSERT_TRUE(second->waitForFinished(5000));
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_TRUE(second->readAllStandardOutput().isEmpty());

    first->kill();
    first->waitForFinished(5000);
    const QString shot = QString::fromStdString((m_home / "shot.png").string());
    QProcess* third = Start({}, shot);
    ASSERT_TRUE(third->waitForFinished(20000));
    EXPECT_EQ(third->exitCode(), 0);
    QImage picture(shot);
    ASSERT_FALSE(picture.isNull()) << "no screenshot written";
    EXPECT_GE(picture.width(), 200);
    // The settings were written on the way out.
    EXPECT_TRUE(std::filesystem::exists(m_home / "HKEY_CURRENT_USER.reg"));
}

TEST_F(ProgramTest, VtlOpenStartsTheProgramAndHandsItTheFile)
{
    // A picture of one colour that nothing else on the screen has.
    vtl::platform::TBitmap picture(40, 30, vtl::platform::TPixelFormat::pf24bit);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            picture.SetPixel(x, y, vtl::platform::Rgb(12, 200, 34));
    std::filesystem::create_directories(m_home / "a folder");
    picture.SaveToFile(m_home / "a folder" / "one colour.bmp");

    // Named relative to vtl-open's working folder: the program, started in the home folder, gets
    // the full path.
    const QString shot = QString::fromStdString((m_home / "shot.png").string());
    QProcess* open = Start({ QStringLiteral("a folder/one colour.bmp") }, shot,
        QStringLiteral(VTL_BINARY_DIR "/src/vtl-open"));
    ASSERT_TRUE(open->waitForFinished(25000));
    EXPECT_EQ(open->exitCode(), 0) << open->readAllStandardError().toStdString();

    // The program started by vtl-open saves its window and ends by itself.
    QElapsedTimer t;
    t.start();
    while (!std::filesystem::exists(m_home / "shot.png") && t.elapsed() < 20000)
        QThread::msleep(50);
    QThread::msleep(300);
    QImage screen(shot);
    ASSERT_FALSE(screen.isNull()) << "vtl was not started or wrote no picture of its window";
    int found = 0;
    for (int y = 0; y < screen.height(); ++y)
        for (int x = 0; x < screen.width(); ++x)
            found += screen.pixelColor(x, y) == QColor(12, 200, 34);
    EXPECT_GE(found, 40 * 30) << "the picture is not shown";
}
