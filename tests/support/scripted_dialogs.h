#pragma once
// A dialog service for tests: answers come from queues the test fills; every question asked is
// recorded, and a question nobody prepared an answer for fails the test.

#include "platform/qt/dialog_service.h"

#include <QDialog>
#include <deque>
#include <functional>
#include <gtest/gtest.h>

namespace vtl::testing {

class ScriptedDialogs : public platform::qt::DialogService {
public:
    struct Message {
        QString title;
        QString text;
        platform::qt::MsgIcon icon;
    };
    std::deque<platform::qt::MsgResult> messageAnswers;
    std::deque<std::optional<QStringList>> openAnswers;
    std::deque<std::optional<QString>> saveAnswers;
    std::deque<std::optional<platform::qt::FontChoice>> fontAnswers;
    std::vector<platform::qt::FontChoice> fontsOffered;
    std::deque<std::function<int(QDialog&)>> dialogAnswers;
    std::deque<int> saveFilterIndexes; // the filter chosen with each save answer

    std::vector<Message> messages;
    std::vector<platform::qt::FileDialogOptions> fileDialogs;
    std::vector<QString> dialogsShown;

    platform::qt::MsgResult MessageBox(QWidget*, const QString& title, const QString& text,
        platform::qt::MsgIcon icon, platform::qt::MsgButtons) override
    {
        platform::qt::ModalScope modal;
        messages.push_back({ title, text, icon });
        if (messageAnswers.empty()) {
            ADD_FAILURE() << "unexpected message: " << text.toStdString();
            return platform::qt::MsgResult::Cancel;
        }
        auto answer = messageAnswers.front();
        messageAnswers.pop_front();
        return answer;
    }
    std::optional<QStringList> OpenFileNames(
        QWidget*, const platform::qt::FileDialogOptions& o) override
    {
        platform::qt::ModalScope modal;
        fileDialogs.push_back(o);
        return Next(openAnswers, o.title);
    }
    std::optional<QString> SaveFileName(QWidget*, platform::qt::FileDialogOptions& o) override
    {
        platform::qt::ModalScope modal;
        fileDialogs.push_back(o);
        if (!saveFilterIndexes.empty()) {
            o.filterIndex = saveFilterIndexes.front();
            saveFilterIndexes.pop_front();
        }
        return Next(saveAnswers, o.title);
    }
    std::optional<platform::qt::FontChoice> ChooseFont(
        QWidget*, const platform::qt::FontChoice& initial) override
    {
        platform::qt::ModalScope modal;
        fontsOffered.push_back(initial);
        return Next(fontAnswers, "font");
    }
    int Exec(QDialog& dialog) override
    {
        platform::qt::ModalScope modal;
        dialogsShown.push_back(dialog.objectName());
        if (dialogAnswers.empty()) {
            ADD_FAILURE() << "unexpected dialog: " << dialog.objectName().toStdString();
            return QDialog::Rejected;
        }
        auto answer = std::move(dialogAnswers.front());
        dialogAnswers.pop_front();
        return answer(dialog);
    }

private:
// GCC 12 warns, wrongly, that a moved std::optional<QString> may be uninitialised.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
    template <typename T> T Next(std::deque<T>& queue, const QString& what)
    {
        if (queue.empty()) {
            ADD_FAILURE() << "unexpected dialog: " << what.toStdString();
            return T {};
        }
        T answer = std::move(queue.front());
        queue.pop_front();
        return answer;
    }
#pragma GCC diagnostic pop
};

// Installs a ScriptedDialogs for the life of the guard.
class DialogGuard {
public:
    DialogGuard()
    {
        auto owned = std::make_unique<ScriptedDialogs>();
        dialogs = owned.get();
        m_previous = platform::qt::SetDialogs(std::move(owned));
    }
    ~DialogGuard() { platform::qt::SetDialogs(std::move(m_previous)); }
    ScriptedDialogs* dialogs;

private:
    std::unique_ptr<platform::qt::DialogService> m_previous;
};

} // namespace vtl::testing
