#pragma once
// The program's own help: a Japanese HTML document shipped with the program, shown in a window of
// the program's own. The desktop's browser is not asked: whether it really opened a file can't be
// known here (the launcher reports success as soon as it starts), and the help must also be
// there on a machine where no browser answers.

#include <QString>
#include <QWidget>
#include <filesystem>
#include <optional>

class QTextBrowser;

namespace vtl::app::ui {

inline constexpr const char* kHelpFileName = "vtl-help.html";

// Where the help lies: share/vtl/help beside the installed program (<prefix>/bin/vtl), the copy a
// build tree keeps in build/share/vtl/help, or the source tree's share/help named by the build's
// cache. Nothing when none exists.
std::optional<std::filesystem::path> HelpDocument();
// The same for a program in `programFolder`.
std::optional<std::filesystem::path> HelpDocumentFor(const std::filesystem::path& programFolder);

// The help window: the document in a browser that follows its own links and hands links to the
// web to the desktop. One at a time, owned by the main window; Esc closes it.
class THelpForm : public QWidget {
    Q_OBJECT
public:
    THelpForm(const std::filesystem::path& document, QWidget* owner);

    QTextBrowser* Browser() const { return m_browser; }

private:
    QTextBrowser* m_browser = nullptr;
};

// ヘルプ → トピックの検索: shows the help window, raising the one already open. When the document
// is missing the user is told "vtl-help.html が見つかりません。" and nothing opens.
THelpForm* ShowHelp(QWidget* owner);

} // namespace vtl::app::ui
