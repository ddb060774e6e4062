#pragma once
// The association dialog "レジストリ設定": one check box per extension the program can read; "設定"
// associates the checked ones and takes back the others, in the registry and in the desktop's
// mimeapps.list (the user's XDG folders, as the environment names them).

#include "platform/geometry.h"
#include "shell/associations.h"
#include "shell/desktop_defaults.h"

#include <QDialog>
#include <filesystem>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;

namespace vtl::shell::ui {

class TSpiRegDlg : public QDialog {
    Q_OBJECT
public:
    // Builds the list from the plug-in list's lines and checks what "shell" names; saved
    // extensions that left the list are unassociated at once (FormCreate). The dialog writes into
    // `registry`; the caller flushes it.
    TSpiRegDlg(platform::Registry& registry, const std::vector<std::string>& pluginLines,
        QWidget* parent = nullptr, std::filesystem::path program = AssociatedProgram());

    QListWidget* CheckListBox1() const { return m_checkList; }
    QPushButton* Button1() const { return m_button1; }
    QPushButton* Button2() const { return m_button2; }
    const ExtensionList& Extensions() const { return m_list; }

    // "設定": makes the desktop's defaults follow the ticks, then writes the associations and the
    // "shell" list, and closes the dialog. When mimeapps.list can't be written the user is told,
    // nothing is written and the dialog stays open.
    void Button1Click();
    // "キャンセル": closes without writing. Its result is the same as that of "設定"
    // (QDialog::Accepted); only the window's close box rejects.
    void Button2Click();

private:
    void FormCreate(const std::vector<std::string>& pluginLines);
    // The desktop's view of `extension`: its MIME type and what this step wants for it.
    DesktopExtension ForDesktop(
        const std::string& extension, const std::string& description, DesktopWish wish) const;
    void ReportDesktopProblems(const DesktopResult& result);

    platform::Registry& m_registry;
    std::filesystem::path m_program;
    XdgFolders m_xdg = XdgFolders::FromEnvironment();
    std::vector<std::string> m_archiveExtensions;
    ExtensionList m_list;
    QListWidget* m_checkList = nullptr;
    QPushButton* m_button1 = nullptr;
    QPushButton* m_button2 = nullptr;
};

// The association command of the main window: runs the dialog over `registry` with the plug-in
// list's lines, centred on the mouse pointer inside `workArea`, then writes the registry's files
// (a failure to write is swallowed, as the shell code swallows every registry failure).
void ShowAssociationDialog(QWidget* parent, const platform::TRect& workArea,
    platform::Registry& registry, const std::vector<std::string>& pluginLines);
// The same over the program's registry files.
void ShowAssociationDialog(
    QWidget* parent, const platform::TRect& workArea, const std::vector<std::string>& pluginLines);

} // namespace vtl::shell::ui
