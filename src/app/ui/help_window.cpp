#include "app/ui/help_window.h"

#include "platform/environment.h"
#include "platform/qt/dialog_service.h"

#include <QKeySequence>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <fstream>

namespace vtl::app::ui {

namespace fs = std::filesystem;

namespace {

    // The source folder a build tree was made from, as its CMake cache records it.
    std::optional<fs::path> SourceFolderOf(const fs::path& buildFolder)
    {
        std::ifstream cache(buildFolder / "CMakeCache.txt");
        const std::string key = "CMAKE_HOME_DIRECTORY:INTERNAL=";
        for (std::string line; std::getline(cache, line);)
            if (line.compare(0, key.size(), key) == 0)
                return fs::path(line.substr(key.size()));
        return std::nullopt;
    }

} // namespace

std::optional<fs::path> HelpDocument() { return HelpDocumentFor(platform::ProgramFolder()); }

std::optional<fs::path> HelpDocumentFor(const fs::path& program)
{
    std::error_code ec;
    // Installed: <prefix>/bin/vtl and <prefix>/share/vtl/help. A build tree keeps its programs in
    // build/src (tests in build/tests) and its copy in build/share/vtl/help.
    const fs::path beside = program.parent_path() / "share" / "vtl" / "help" / kHelpFileName;
    if (fs::exists(beside, ec))
        return beside;
    for (fs::path dir = program; !dir.empty() && dir != dir.root_path(); dir = dir.parent_path()) {
        if (!fs::exists(dir / "CMakeCache.txt", ec))
            continue;
        if (fs::exists(dir / "share" / "vtl" / "help" / kHelpFileName, ec))
            return dir / "share" / "vtl" / "help" / kHelpFileName;
        if (auto source = SourceFolderOf(dir))
            if (fs::exists(*source / "share" / "help" / kHelpFileName, ec))
                return *source / "share" / "help" / kHelpFileName;
        break;
    }
    return std::nullopt;
}

THelpForm::THelpForm(const fs::path& document, QWidget* owner)
    : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("HelpForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(720, 600);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("HelpBrowser"));
    // The table of contents jumps inside the document; links to the web go to the desktop.
    m_browser->setOpenExternalLinks(true);
    layout->addWidget(m_browser);
    m_browser->setSource(QUrl::fromLocalFile(QString::fromStdString(document.string())));
    const QString title = m_browser->documentTitle();
    setWindowTitle(title.isEmpty() ? QStringLiteral("vtl") : title);
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
}

THelpForm* ShowHelp(QWidget* owner)
{
    if (auto* open = owner->findChild<THelpForm*>(QStringLiteral("HelpForm"))) {
        open->showNormal();
        open->raise();
        open->activateWindow();
        return open;
    }
    const auto document = HelpDocument();
    if (!document) {
        platform::qt::ShowError(
            owner, QString::fromUtf8(kHelpFileName) + QStringLiteral(" が見つかりません。"));
        return nullptr;
    }
    auto* form = new THelpForm(*document, owner);
    form->show();
    return form;
}

} // namespace vtl::app::ui
