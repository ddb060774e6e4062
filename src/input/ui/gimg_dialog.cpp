#include "input/ui/gimg_dialog.h"

#include "platform/qt/dialog_service.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace vtl::input::ui {

namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

FolderChooser& Chooser()
{
    static FolderChooser chooser;
    return chooser;
}

std::optional<QString> DesktopFolderChooser(
    QWidget* parent, const QString& title, const QString& folder)
{
    const QString chosen = QFileDialog::getExistingDirectory(parent, title, folder,
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen;
}

} // namespace

FolderChooser SetFolderChooser(FolderChooser chooser)
{
    FolderChooser previous = std::move(Chooser());
    Chooser() = std::move(chooser);
    return previous;
}

TGImgDlg::TGImgDlg(const app::Settings& settings, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("GImgDlg"));
    setWindowTitle(U("イメージの保存"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(U("保存先"), this), 0, 0);
    grid->addWidget(new QLabel(U("保存名"), this), 1, 0);
    grid->addWidget(new QLabel(U("保存形式"), this), 2, 0);

    m_folder = new QLineEdit(QString::fromStdString(settings.twainDir), this);
    m_folder->setObjectName(QStringLiteral("FoEdit"));
    m_folder->setMinimumWidth(220);
    m_browse = new QToolButton(this);
    m_browse->setObjectName(QStringLiteral("SpeedButton1"));
    m_browse->setText(QStringLiteral("..."));
    connect(m_browse, &QToolButton::clicked, this, &TGImgDlg::SpeedButton1Click);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(m_browse);
    grid->addLayout(folderRow, 0, 1);

    m_name = new QLineEdit(QString::fromStdString(settings.twainName), this);
    m_name->setObjectName(QStringLiteral("FnEdit"));
    grid->addWidget(m_name, 1, 1);

    m_format = new QComboBox(this);
    m_format->setObjectName(QStringLiteral("SvBox"));
    for (const char* entry :
        { "BITMAP", "BITMAP(≦256色)", "BITMAP(グレー16色)", "JPEG", "PNG" })
        m_format->addItem(U(entry));
    m_format->setCurrentIndex(
        settings.twainMode >= 0 && settings.twainMode < m_format->count() ? settings.twainMode : 0);
    grid->addWidget(m_format, 2, 1);
    layout->addLayout(grid);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setDefault(true);
    QPushButton* cancel = buttons->addButton(U("キャンセル"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    connect(ok, &QPushButton::clicked, this, &TGImgDlg::OkClick);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void TGImgDlg::ApplyTo(app::Settings& settings) const
{
    settings.twainDir = m_folder->text().toStdString();
    settings.twainName = m_name->text().toStdString();
    settings.twainMode = m_format->currentIndex();
}

QString TGImgDlg::BasePath() const
{
    QString folder = m_folder->text();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + m_name->text();
}

void TGImgDlg::SpeedButton1Click()
{
    // The chooser starts in the current folder, without its trailing separator unless it is the
    // root.
    QString start = m_folder->text();
    while (start.size() > 1 && start.endsWith(QLatin1Char('/')))
        start.chop(1);
    const QString title = U("保存先のフォルダを選択してください");
    const std::optional<QString> chosen
        = Chooser() ? Chooser()(this, title, start) : DesktopFolderChooser(this, title, start);
    if (chosen)
        m_folder->setText(*chosen);
}

void TGImgDlg::OkClick()
{
    if (!QFileInfo(m_folder->text()).isDir()) {
        platform::qt::Dialogs().MessageBox(this, QStringLiteral("vtl"), U("フォルダが存在しません。"),
            platform::qt::MsgIcon::Warning, platform::qt::MsgButtons::Ok);
        return;
    }
    accept();
}

} // namespace vtl::input::ui
