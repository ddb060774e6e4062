#include "shell/ui/spi_reg_dialog.h"

#include "platform/qt/dialog_service.h"
#include "platform/qt/screens.h"
#include "platform/registry.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMimeDatabase>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace vtl::shell::ui {

namespace {
    QString U(const char* text) { return QString::fromUtf8(text); }
}

TSpiRegDlg::TSpiRegDlg(platform::Registry& registry, const std::vector<std::string>& pluginLines,
    QWidget* parent, std::filesystem::path program)
    : QDialog(parent)
    , m_registry(registry)
    , m_program(std::move(program))
{
    setObjectName(QStringLiteral("SpiRegDlg"));
    setWindowTitle(U("レジストリ設定"));
    resize(198, 154);

    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(U("関連付けする拡張子をチェック"), this);
    label->setObjectName(QStringLiteral("Label1"));
    layout->addWidget(label);
    m_checkList = new QListWidget(this);
    m_checkList->setObjectName(QStringLiteral("CheckListBox1"));
    layout->addWidget(m_checkList, 1);

    auto* buttons = new QHBoxLayout;
    m_button1 = new QPushButton(U("設定"), this);
    m_button1->setObjectName(QStringLiteral("Button1"));
    m_button1->setDefault(true);
    m_button2 = new QPushButton(U("キャンセル"), this);
    m_button2->setObjectName(QStringLiteral("Button2"));
    connect(m_button1, &QPushButton::clicked, this,
        platform::qt::Guarded(this, [this] { Button1Click(); }));
    connect(m_button2, &QPushButton::clicked, this,
        platform::qt::Guarded(this, [this] { Button2Click(); }));
    buttons->addWidget(m_button1);
    buttons->addWidget(m_button2);
    layout->addLayout(buttons);

    FormCreate(pluginLines);
}

DesktopExtension TSpiRegDlg::ForDesktop(
    const std::string& extension, const std::string& description, DesktopWish wish) const
{
    // The shared MIME database first; a type it doesn't know yet is one of ours.
    QString known;
    const QMimeDatabase database;
    for (const QMimeType& type :
        database.mimeTypesForFileName(QStringLiteral("x") + QString::fromStdString(extension)))
        if (type.isValid() && !type.isDefault()) {
            known = type.name();
            break;
        }
    const bool archive
        = std::find(m_archiveExtensions.begin(), m_archiveExtensions.end(), extension)
        != m_archiveExtensions.end();
    const ExtensionType type = TypeOfExtension(extension, known.toStdString(), archive);
    return { extension, type.type, type.own, description, wish };
}

void TSpiRegDlg::ReportDesktopProblems(const DesktopResult& result)
{
    if (result.problems.empty())
        return;
    QStringList lines;
    for (const std::string& problem : result.problems)
        lines << QString::fromStdString(problem);
    platform::qt::ShowError(this, lines.join(QLatin1Char('\n')));
}

void TSpiRegDlg::FormCreate(const std::vector<std::string>& pluginLines)
{
    m_list = BuildExtensionList(pluginLines);
    m_archiveExtensions = ArchiveExtensions(pluginLines);
    for (const auto& entry : m_list.entries) {
        auto* item = new QListWidgetItem(QString::fromStdString(entry.extension), m_checkList);
        item->setFlags((item->flags() | Qt::ItemIsUserCheckable) & ~Qt::ItemIsEditable);
        item->setCheckState(Qt::Unchecked);
    }
    // Saved extensions that left the list are taken back below; their types go back to their
    // previous defaults on the desktop too, unless an extension still associated shares them.
    std::vector<DesktopExtension> desktop;
    bool vanished = false;
    for (const std::string& extension : SavedExtensions(m_registry)) {
        const bool listed = m_list.IndexOf(extension) >= 0;
        vanished |= !listed;
        desktop.push_back(
            ForDesktop(extension, {}, listed ? DesktopWish::Keep : DesktopWish::Release));
    }
    DesktopResult result;
    if (vanished)
        result = ApplyDesktopDefaults(
            m_xdg, desktop, ReadMimeBackups(m_registry, desktop), OpenerProgram());
    const std::vector<bool> checked = LoadSavedState(m_registry, m_list);
    for (size_t i = 0; i < checked.size(); ++i)
        if (checked[i])
            m_checkList->item(static_cast<int>(i))->setCheckState(Qt::Checked);
    if (vanished) {
        RecordMimeBackups(m_registry, desktop, result.records);
        ReportDesktopProblems(result);
    }
}

void TSpiRegDlg::Button1Click()
{
    std::vector<bool> checked;
    for (int i = 0; i < m_checkList->count(); ++i)
        checked.push_back(m_checkList->item(i)->checkState() == Qt::Checked);
    std::vector<DesktopExtension> desktop;
    for (size_t i = 0; i < m_list.Size(); ++i)
        desktop.push_back(ForDesktop(m_list.entries[i].extension, m_list.DescriptionOf(i),
            checked[i] ? DesktopWish::Default : DesktopWish::Release));
    // The desktop first: when its file can't be written, the registry isn't either, so that both
    // still agree; the dialog stays open for another try.
    const DesktopResult result = ApplyDesktopDefaults(
        m_xdg, desktop, ReadMimeBackups(m_registry, desktop), OpenerProgram());
    if (result.failed) {
        ReportDesktopProblems(result);
        return;
    }
    ApplyAssociations(m_registry, m_list, checked, m_program);
    // After the registry step, which deletes the keys of the extensions it takes back.
    RecordMimeBackups(m_registry, desktop, result.records);
    ReportDesktopProblems(result);
    accept();
}

void TSpiRegDlg::Button2Click() { accept(); }

void ShowAssociationDialog(QWidget* parent, const platform::TRect& workArea,
    platform::Registry& registry, const std::vector<std::string>& pluginLines)
{
    TSpiRegDlg dialog(registry, pluginLines, parent);
    platform::qt::CentreOnPointer(dialog, workArea);
    platform::qt::Dialogs().Exec(dialog);
    // Saved extensions that left the list were taken back when the dialog opened, so the
    // registry is written whichever button closed it.
    try {
        registry.Flush();
    } catch (const std::exception&) {
        // Association failures are not reported; the previous files stay intact.
    }
}

void ShowAssociationDialog(
    QWidget* parent, const platform::TRect& workArea, const std::vector<std::string>& pluginLines)
{
    platform::Registry registry(platform::Registry::DefaultFolder());
    ShowAssociationDialog(parent, workArea, registry, pluginLines);
}

} // namespace vtl::shell::ui
