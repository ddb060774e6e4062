#include "platform/qt/dialog_service.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QKeyEvent>
#include <QMessageBox>

namespace vtl::platform::qt {

QString QtFilter(const QString& filter)
{
    const QStringList parts = filter.split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        out << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
    }
    return out.join(QStringLiteral(";;"));
}

namespace {
    int g_openDialogs = 0;
}

ModalScope::ModalScope() { ++g_openDialogs; }
ModalScope::~ModalScope() { --g_openDialogs; }
bool DialogOpen() { return g_openDialogs > 0; }

namespace {
    // A question with Yes and No has no way out but its two buttons: Esc and the window's close
    // button do nothing, so that a key pressed by habit never answers it.
    class QuestionBox : public QMessageBox {
    public:
        using QMessageBox::QMessageBox;
        bool answerOnly = false;

    protected:
        void keyPressEvent(QKeyEvent* event) override
        {
            if (answerOnly && event->matches(QKeySequence::Cancel))
                return;
            QMessageBox::keyPressEvent(event);
        }
        void closeEvent(QCloseEvent* event) override
        {
            if (answerOnly && !m_answered) {
                event->ignore();
                return;
            }
            QMessageBox::closeEvent(event);
        }
        void done(int result) override
        {
            m_answered = true;
            QMessageBox::done(result);
        }

    private:
        bool m_answered = false;
    };

    class RealDialogs : public DialogService {
    public:
        MsgResult MessageBox(QWidget* parent, const QString& title, const QString& text,
            MsgIcon icon, MsgButtons buttons) override
        {
            ModalScope modal;
            QuestionBox box(parent);
            box.setWindowTitle(title);
            box.setText(text);
            box.setIcon(icon == MsgIcon::Error  ? QMessageBox::Critical
                    : icon == MsgIcon::Warning  ? QMessageBox::Warning
                    : icon == MsgIcon::Question ? QMessageBox::Question
                                                : QMessageBox::Information);
            switch (buttons) {
            case MsgButtons::Ok:
                box.setStandardButtons(QMessageBox::Ok);
                break;
            case MsgButtons::OkCancel:
                box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
                break;
            case MsgButtons::YesNo:
                box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
                box.answerOnly = true;
                break;
            case MsgButtons::YesNoCancel:
                box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
                break;
            }
            // The buttons speak the program's language, with the letters that answer them.
            for (auto [button, caption] : { std::pair { QMessageBox::Yes, "はい(&Y)" },
                     { QMessageBox::No, "いいえ(&N)" }, { QMessageBox::Cancel, "キャンセル" } })
                if (QAbstractButton* b = box.button(button))
                    b->setText(QString::fromUtf8(caption));
            switch (box.exec()) {
            case QMessageBox::Yes:
                return MsgResult::Yes;
            case QMessageBox::No:
                return MsgResult::No;
            case QMessageBox::Cancel:
                return MsgResult::Cancel;
            default:
                return MsgResult::Ok;
            }
        }

        std::optional<QStringList> OpenFileNames(
            QWidget* parent, const FileDialogOptions& o) override
        {
            ModalScope modal;
            QFileDialog dialog(parent, o.title, o.folder, QtFilter(o.filter));
            dialog.setAcceptMode(QFileDialog::AcceptOpen);
            dialog.setFileMode(o.multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
            if (!o.fileName.isEmpty())
                dialog.selectFile(o.fileName);
            if (dialog.exec() != QDialog::Accepted)
                return std::nullopt;
            return dialog.selectedFiles();
        }

        std::optional<QString> SaveFileName(QWidget* parent, FileDialogOptions& o) override
        {
            ModalScope modal;
            QFileDialog dialog(parent, o.title, o.folder, QtFilter(o.filter));
            const QStringList filters = QtFilter(o.filter).split(QStringLiteral(";;"));
            if (o.filterIndex >= 1 && o.filterIndex <= filters.size())
                dialog.selectNameFilter(filters[o.filterIndex - 1]);
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setDefaultSuffix(o.defaultExtension);
            if (!o.fileName.isEmpty())
                dialog.selectFile(o.fileName);
            if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
                return std::nullopt;
            o.filterIndex = static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
            return dialog.selectedFiles().first();
        }

        std::optional<QFont> ChooseFont(QWidget* parent, const QFont& initial) override
        {
            ModalScope modal;
            bool ok = false;
            QFont font = QFontDialog::getFont(&ok, initial, parent);
            if (!ok)
                return std::nullopt;
            return font;
        }

        int Exec(QDialog& dialog) override
        {
            ModalScope modal;
            return dialog.exec();
        }
    };

    std::unique_ptr<DialogService>& Current()
    {
        static std::unique_ptr<DialogService> service = std::make_unique<RealDialogs>();
        return service;
    }
}

DialogService& Dialogs() { return *Current(); }

std::unique_ptr<DialogService> SetDialogs(std::unique_ptr<DialogService> service)
{
    auto previous = std::move(Current());
    Current() = service ? std::move(service) : std::make_unique<RealDialogs>();
    return previous;
}

void RunGuarded(QWidget* parent, const std::function<void()>& body)
{
    try {
        body();
    } catch (const std::bad_alloc&) {
        ShowError(parent, QStringLiteral("Out of memory"));
    } catch (const std::exception& e) {
        ShowError(parent, QString::fromUtf8(e.what()));
    }
}

void ShowError(QWidget* parent, const QString& text)
{
    Dialogs().MessageBox(parent, QStringLiteral("vtl"), text, MsgIcon::Error, MsgButtons::Ok);
}

} // namespace vtl::platform::qt
