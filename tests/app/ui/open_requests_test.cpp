// Open requests sent to the running program's socket, as vtl-open sends them: every name of the
// macro opened in order at 100 %, setting files loaded, missing names giving empty documents, and
// macros that are no list of names ignored.
#include "app/open_requests.h"
#include "app/setting_file.h"
#include "app/ui/open_request_server.h"
#include "input/picture_loader.h"
#include "support/document_fixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QMdiArea>
#include <atomic>
#include <thread>

using vtl::testing::CommandTest;
using vtl::testing::Pattern;
using vtl::testing::TMDIChild;
using vtl::testing::WriteFile;

namespace {

class OpenRequestTest : public CommandTest {
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        MakeForm();
        m_server = QString::fromStdString((m_dir / "open.sock").string());
        ASSERT_TRUE(m_form->ListenForOpenRequests(m_server));
    }
    QString Picture(const std::string& name, int width)
    {
        const auto path = m_dir / name;
        std::filesystem::create_directories(path.parent_path());
        Pattern(width, 7).SaveToFile(path);
        return QString::fromStdString(path.string());
    }
    // Sends the macro as vtl-open does (connect, write everything, close) from a thread of its
    // own, while this thread lets the frame read. True when every byte was written.
    bool Send(const QByteArray& macro)
    {
        std::atomic<bool> done = false;
        bool sent = false;
        std::thread client([&] {
            QLocalSocket socket;
            socket.connectToServer(m_server);
            if (socket.waitForConnected(2000)) {
                socket.write(macro);
                while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(2000)) { }
                sent = socket.bytesToWrite() == 0;
                socket.disconnectFromServer();
                if (socket.state() != QLocalSocket::UnconnectedState)
                    socket.waitForDisconnected(2000);
            }
            done = true;
        });
        while (!done)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        client.join();
        return sent;
    }
    // Lets the frame take the request until it has `count` documents (or two seconds pass).
    QList<QMdiSubWindow*> WaitForDocuments(int count)
    {
        QElapsedTimer t;
        t.start();
        while (m_form->Children().size() < count && t.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return m_form->Children();
    }
    QString m_server;
};

TEST_F(OpenRequestTest, NamesOpenInOrderAtFullSize)
{
    const QString a = Picture("my pictures/a b.bmp", 11);
    const QString b = Picture("b.bmp", 13);
    const QString missing = QString::fromStdString((m_dir / "gone.bmp").string());
    ASSERT_TRUE(Send(QByteArray::fromStdString(
        vtl::app::MakeOpenMacro({ a.toStdString(), b.toStdString(), missing.toStdString() }))));
    const auto windows = WaitForDocuments(3);
    ASSERT_EQ(windows.size(), 3);
    auto* first = dynamic_cast<TMDIChild*>(windows[0]);
    auto* second = dynamic_cast<TMDIChild*>(windows[1]);
    auto* third = dynamic_cast<TMDIChild*>(windows[2]);
    ASSERT_TRUE(first && second && third);
    EXPECT_EQ(first->FileName(), a) << "the quotes go, the blank stays";
    EXPECT_EQ(first->Picture().Width(), 11);
    EXPECT_EQ(first->ZoomIndex, 3);
    EXPECT_EQ(second->Picture().Width(), 13);
    EXPECT_TRUE(third->Picture().Empty()) << "a missing name gives an empty document";
    EXPECT_EQ(third->FileName(), missing);
}

TEST_F(OpenRequestTest, AnUnreadableFileIsReportedAndTheRestStillOpen)
{
    const QString a = Picture("a.bmp", 11);
    const QString b = Picture("b.bmp", 13);
    vtl::input::FailNextLoadsForTesting(1);
    m_guard.dialogs->messageAnswers.push_back(vtl::platform::qt::MsgResult::Ok);
    ASSERT_TRUE(Send(
        QByteArray::fromStdString(vtl::app::MakeOpenMacro({ a.toStdString(), b.toStdString() }))));
    const auto windows = WaitForDocuments(2);
    ASSERT_EQ(windows.size(), 2);
    ASSERT_EQ(m_guard.dialogs->messages.size(), 1u);
    EXPECT_TRUE(m_guard.dialogs->messages[0].text.contains(a));
    EXPECT_TRUE(dynamic_cast<TMDIChild*>(windows[0])->Picture().Empty());
    EXPECT_EQ(dynamic_cast<TMDIChild*>(windows[1])->Picture().Width(), 13);
}

TEST_F(OpenRequestTest, SettingFilesInCapitalsAreLoaded)
{
    const QString a = Picture("a.bmp", 9);
    vtl::app::SettingEntry entry;
    entry.zoomIndex = 5;
    entry.path = a.toStdString();
    const auto setting = m_dir / "SET.VTL";
    WriteFile(setting, vtl::app::FormatSettingFile({ entry }));
    ASSERT_TRUE(Send("\"" + QByteArray::fromStdString(setting.string()) + "\"\r\n"));
    const auto windows = WaitForDocuments(1);
    ASSERT_EQ(windows.size(), 1);
    auto* document = dynamic_cast<TMDIChild*>(windows[0]);
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->ZoomIndex, 5) << "opened as the setting file says, not at 100 %";
}

TEST_F(OpenRequestTest, EmptyAndOversizedMacrosOpenNothing)
{
    ASSERT_TRUE(Send("\n\r\n"));
    // The server may cut this one off before it is all written.
    Send(QByteArray(vtl::app::ui::TOpenRequestServer::kMaxMacroBytes + 10, 'a'));
    // A request that does open something, sent last, shows the others were taken and dropped.
    const QString a = Picture("last.bmp", 5);
    ASSERT_TRUE(Send(a.toUtf8()));
    const auto windows = WaitForDocuments(1);
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 200)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(m_form->Children().size(), 1);
    EXPECT_EQ(dynamic_cast<TMDIChild*>(m_form->Children()[0])->FileName(), a);
}

} // namespace
