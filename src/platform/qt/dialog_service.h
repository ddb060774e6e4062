#pragma once
// Every message box and common dialog of the program goes through this service, so that tests can
// answer them without a person. The program uses the real dialogs; tests install their own.

#include <QFont>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QDialog;
class QWidget;

namespace vtl::platform::qt {

enum class MsgIcon { Error, Warning, Information, Question };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgResult { Ok, Cancel, Yes, No };

struct FileDialogOptions {
    QString title;
    QString filter; // "設定ファイル|*.vtl|すべて|*.*" as the program writes filters
    QString folder;
    QString fileName;
    QString defaultExtension;
    bool multiple = false;
    // 1-based index of the filter chosen (save dialogs write it back).
    int filterIndex = 1;
};

// A font with its colour, as the font dialog chooses them. The colour is a colour value of the
// settings (0x00BBGGRR), or a system colour (the top bit set), which shows as black.
struct FontChoice {
    QFont font;
    int32_t colour = 0;
};

// "説明|*.a;*.b|..." to Qt's "説明 (*.a *.b);;...".
QString QtFilter(const QString& filter);

class DialogService {
public:
    virtual ~DialogService() = default;
    virtual MsgResult MessageBox(QWidget* parent, const QString& title, const QString& text,
        MsgIcon icon, MsgButtons buttons)
        = 0;
    // The chosen files, or nullopt when the user cancelled.
    virtual std::optional<QStringList> OpenFileNames(
        QWidget* parent, const FileDialogOptions& options)
        = 0;
    virtual std::optional<QString> SaveFileName(QWidget* parent, FileDialogOptions& options) = 0;
    virtual std::optional<FontChoice> ChooseFont(QWidget* parent, const FontChoice& initial) = 0;
    // Runs a modal dialog of the program; QDialog::Accepted or Rejected.
    virtual int Exec(QDialog& dialog) = 0;
};

DialogService& Dialogs();
// Replaces the service (tests); returns the previous one.
std::unique_ptr<DialogService> SetDialogs(std::unique_ptr<DialogService> service);

// Marks a dialog of the program as open for its lifetime; every dialog service holds one while it
// asks. Events keep running under a modal dialog (the slide-show timer, open requests, the end of
// the session), and what they would do to a document the dialog works on waits until it closes.
class ModalScope {
public:
    ModalScope();
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;
};
// True while a dialog of the program is open.
bool DialogOpen();

// A message box titled "vtl" as the program shows its errors and warnings.
void ShowError(QWidget* parent, const QString& text);

// Runs a command's body; an exception it raises is shown in the general error report instead of
// crossing the event loop.
void RunGuarded(QWidget* parent, const std::function<void()>& body);

// A slot that runs `body` guarded, for connect().
template <typename Body> auto Guarded(QWidget* parent, Body body)
{
    return [parent, body] { RunGuarded(parent, body); };
}

} // namespace vtl::platform::qt
