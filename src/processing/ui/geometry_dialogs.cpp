#include "processing/ui/geometry_dialogs.h"

#include "platform/qt/dialog_buttons.h"
#include "platform/qt/dialog_service.h"
#include "platform/qt/up_down_edit.h"
#include "processing/geometry_inputs.h"
#include "processing/ui/key_filter.h"
#include "processing/value_input.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace vtl::processing::ui {

using platform::qt::TUpDownEdit;

namespace {
    QString U(const char* s) { return QString::fromUtf8(s); }

    // The OK and Cancel buttons at the right of a row; OK runs `ok`.
    QBoxLayout* OkCancel(QDialog* dialog, std::function<void()> ok)
    {
        QBoxLayout* buttons = platform::qt::OkCancelButtons(*dialog, std::move(ok));
        buttons->insertStretch(0);
        return buttons;
    }

    // A radio group of two items side by side, the first chosen.
    QGroupBox* TwoColumnGroup(QWidget* parent, const char* name, const char* caption,
        const char* first, const char* second, QButtonGroup*& buttons)
    {
        auto* box = new QGroupBox(U(caption), parent);
        box->setObjectName(U(name));
        auto* row = new QHBoxLayout(box);
        buttons = new QButtonGroup(parent);
        int index = 0;
        for (const char* item : { first, second }) {
            auto* radio = new QRadioButton(U(item), box);
            radio->setObjectName(U(name) + QString::number(index));
            buttons->addButton(radio, index++);
            row->addWidget(radio);
        }
        buttons->button(0)->setChecked(true);
        return box;
    }

    void DigitsOnly(QLineEdit& edit)
    {
        edit.setAttribute(Qt::WA_InputMethodEnabled, false);
        edit.setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), &edit));
        InstallKeyFilter(edit, DigitKeyAllowed);
    }

    // Keeps the linked fields of the resize dialog from setting each other off; one for the
    // whole program, as the handlers run on one thread.
    bool g_linking = false;

    class Linking {
    public:
        Linking() { g_linking = true; }
        ~Linking() { g_linking = false; }
        Linking(const Linking&) = delete;
        Linking& operator=(const Linking&) = delete;
    };
}

// ---- TGScaleDlg ----

TGScaleDlg::TGScaleDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("GScaleDlg"));
    setWindowTitle(U("拡大/縮小"));
    m_x = new TUpDownEdit(QStringLiteral("EdX"), QStringLiteral("xpos"), kScaleSizeMin,
        kScaleSizeMax, kScaleSizeMin, this);
    m_y = new TUpDownEdit(QStringLiteral("EdY"), QStringLiteral("Ypos"), kScaleSizeMin,
        kScaleSizeMax, kScaleSizeMin, this);
    m_r = new TUpDownEdit(
        QStringLiteral("EdR"), QStringLiteral("rpos"), kRatioMin, kRatioMax, kRatioInitial, this);
    for (TUpDownEdit* field : { m_x, m_y, m_r })
        InstallKeyFilter(*field->Edit(), DigitKeyAllowed);
    m_x->readText = [](const QString& text, int position) {
        return ScaleSizeFromText(text.toStdString(), position);
    };
    m_y->readText = m_x->readText;
    m_r->readText = [](const QString& text, int position) {
        return RatioFromText(text.toStdString(), position);
    };
    connect(m_x, &TUpDownEdit::ArrowClicked, this, [this](int width) { WidthChanged(width); });
    connect(m_y, &TUpDownEdit::ArrowClicked, this, [this](int height) { HeightChanged(height); });
    connect(m_r, &TUpDownEdit::ArrowClicked, this, [this](int ratio) { RatioChanged(ratio); });
    // Each field's own exit has run when the edit reports it finished; the links follow.
    for (auto [edit, exit] : { std::pair { m_x->Edit(), &TGScaleDlg::EdXExit },
             { m_y->Edit(), &TGScaleDlg::EdYExit }, { m_r->Edit(), &TGScaleDlg::EdRExit } })
        connect(edit, &QLineEdit::editingFinished, this, [this, exit] { (this->*exit)(); });
    // While a field is typed, the others follow the value it would have if it were left now;
    // the typed text itself is left alone until then ("6" on the way to "600" stays "6").
    connect(m_x->Edit(), &QLineEdit::textEdited, this, [this](const QString& text) {
        WidthChanged(ScaleSizeFromText(text.toStdString(), m_x->Position()));
    });
    connect(m_y->Edit(), &QLineEdit::textEdited, this, [this](const QString& text) {
        HeightChanged(ScaleSizeFromText(text.toStdString(), m_y->Position()));
    });
    connect(m_r->Edit(), &QLineEdit::textEdited, this, [this](const QString& text) {
        RatioChanged(RatioFromText(text.toStdString(), m_r->Position()));
    });

    m_keep = new QCheckBox(U("等比変形"), this);
    m_keep->setObjectName(QStringLiteral("CheckBox1"));
    m_keep->setChecked(true);
    connect(m_keep, &QCheckBox::toggled, this, [this](bool checked) {
        m_r->setEnabled(checked);
        if (checked)
            RatioChanged(m_r->Position());
    });

    auto* grid = new QGridLayout;
    const std::pair<const char*, TUpDownEdit*> rows[]
        = { { "幅", m_x }, { "高さ", m_y }, { "比率", m_r } };
    int row = 0;
    for (auto [caption, field] : rows) {
        auto* label = new QLabel(U(caption), this);
        label->setObjectName(QStringLiteral("Label%1").arg(row + 1));
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1);
        ++row;
    }
    grid->addWidget(m_keep, row, 0, 1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(OkCancel(this, [this] { OKBtnClick(); }));
    setFixedSize(sizeHint());
}

TGScaleDlg::~TGScaleDlg()
{
    // The fields lose the focus as the dialog is taken down, which finishes their editing: the
    // links must not run on a dialog that is half gone.
    for (auto* field : { m_x, m_y, m_r })
        field->Edit()->disconnect(this);
}

void TGScaleDlg::SetOriginalSize(int32_t width, int32_t height)
{
    m_width0 = width;
    m_height0 = height;
}

int TGScaleDlg::Xpos() const { return m_x->Position(); }
int TGScaleDlg::Ypos() const { return m_y->Position(); }
int TGScaleDlg::Rpos() const { return m_r->Position(); }
void TGScaleDlg::SetXpos(int width) { m_x->SetPosition(width); }
void TGScaleDlg::SetYpos(int height) { m_y->SetPosition(height); }

void TGScaleDlg::RatioChanged(int ratio)
{
    if (g_linking)
        return;
    Linking linking;
    const ScaleSize size = SizeFromRatio(ratio, m_width0, m_height0);
    m_x->SetPosition(size.width);
    m_y->SetPosition(size.height);
}

void TGScaleDlg::WidthChanged(int width)
{
    if (g_linking || !m_keep->isChecked())
        return;
    Linking linking;
    const LinkedSize linked = FollowSize(width, m_width0, m_height0);
    m_r->SetPosition(linked.ratio);
    m_y->SetPosition(linked.other);
}

void TGScaleDlg::HeightChanged(int height)
{
    if (g_linking || !m_keep->isChecked())
        return;
    Linking linking;
    const LinkedSize linked = FollowSize(height, m_height0, m_width0);
    m_r->SetPosition(linked.ratio);
    m_x->SetPosition(linked.other);
}

// A typed width or height follows the proportions as the arrows do, so that a picture the user
// asked to keep in proportion is never distorted.
void TGScaleDlg::EdXExit()
{
    m_x->EditExit();
    WidthChanged(m_x->Position());
}

void TGScaleDlg::EdYExit()
{
    m_y->EditExit();
    HeightChanged(m_y->Position());
}

void TGScaleDlg::EdRExit()
{
    m_r->EditExit();
    RatioChanged(m_r->Position());
}

void TGScaleDlg::OKBtnClick()
{
    // Enter leaves the focus in the edit: its exit runs before the values are taken.
    if (m_x->Edit()->hasFocus())
        EdXExit();
    else if (m_y->Edit()->hasFocus())
        EdYExit();
    else if (m_r->Edit()->hasFocus())
        EdRExit();
    accept();
}

// ---- TClpDlg ----

TClpDlg::TClpDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("ClpDlg"));
    setWindowTitle(U("クリッピング"));
    auto* grid = new QGridLayout;
    const char* const names[] = { "edLeft", "edTop", "edWidth", "edHeight" };
    const char* const captions[] = { "左削除", "上削除", "幅", "高さ" };
    for (int i = 0; i < 4; ++i) {
        auto* label = new QLabel(U(captions[i]), this);
        label->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        m_edits[i] = new QLineEdit(QStringLiteral("0"), this);
        m_edits[i]->setObjectName(U(names[i]));
        DigitsOnly(*m_edits[i]);
        m_edits[i]->installEventFilter(this);
        connect(m_edits[i], &QLineEdit::textEdited, this,
            [this, edit = m_edits[i]] { FieldTyped(edit); });
        grid->addWidget(label, i / 2, (i % 2) * 2);
        grid->addWidget(m_edits[i], i / 2, (i % 2) * 2 + 1);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(OkCancel(this, [this] { OKBtnClick(); }));
    setFixedSize(sizeHint());
}

void TClpDlg::SetPictureSize(int32_t width, int32_t height)
{
    m_width = width;
    m_height = height;
}

void TClpDlg::SetArea(const ClipArea& area)
{
    m_area = area;
    m_settled = area;
    ShowArea();
}

void TClpDlg::ShowArea(const QLineEdit* typing)
{
    const int32_t values[] = { m_area.left, m_area.top, m_area.width, m_area.height };
    for (int i = 0; i < 4; ++i)
        if (m_edits[i] != typing)
            m_edits[i]->setText(QString::number(values[i]));
}

void TClpDlg::showEvent(QShowEvent* event)
{
    ShowArea();
    QDialog::showEvent(event);
}

void TClpDlg::edLeftExit() { FieldExit(edLeft()); }
void TClpDlg::edTopExit() { FieldExit(edTop()); }
void TClpDlg::edWidthExit() { FieldExit(edWidth()); }
void TClpDlg::edHeightExit() { FieldExit(edHeight()); }

void TClpDlg::ApplyField(const QLineEdit* edit)
{
    // Starting from the settled rectangle each time, a width cut by "5" on the way to "50" is
    // not cut again by what follows: typing and then leaving gives what leaving alone gives.
    m_area = m_settled;
    const std::string text = edit->text().toStdString();
    if (edit == edLeft())
        ClipOffsetExit(text, m_area.left, m_area.width, m_width);
    else if (edit == edTop())
        ClipOffsetExit(text, m_area.top, m_area.height, m_height);
    else if (edit == edWidth())
        ClipExtentExit(text, m_area.left, m_area.width, m_width);
    else if (edit == edHeight())
        ClipExtentExit(text, m_area.top, m_area.height, m_height);
}

void TClpDlg::FieldExit(const QLineEdit* edit)
{
    ApplyField(edit);
    m_settled = m_area;
    ShowArea();
}

void TClpDlg::FieldTyped(const QLineEdit* edit)
{
    ApplyField(edit);
    ShowArea(edit);
}

bool TClpDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut)
        if (const auto* edit = qobject_cast<const QLineEdit*>(watched))
            FieldExit(edit);
    return QDialog::eventFilter(watched, event);
}

void TClpDlg::OKBtnClick()
{
    for (QLineEdit* edit : m_edits)
        if (edit->hasFocus())
            FieldExit(edit);
    if (ClipChangesPicture(m_area, m_width, m_height))
        accept();
    else
        reject();
}

// ---- TConnectDlg ----

TConnectDlg::TConnectDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("ConnectDlg"));
    setWindowTitle(U("vtl 連結選択"));
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("GList"));
    auto* direction = TwoColumnGroup(this, "ConG", "連結方向", "横", "縦", m_direction);
    auto* colour = TwoColumnGroup(this, "ColG", "余白色", "白", "黒", m_colour);
    auto* marginBox = new QGroupBox(U("余白ピクセル"), this);
    auto* marginRow = new QHBoxLayout(marginBox);
    m_margin = new TUpDownEdit(
        QStringLiteral("Edit1"), QStringLiteral("SpUd"), 0, kMarginMax, 0, marginBox);
    InstallKeyFilter(*m_margin->Edit(), DigitKeyAllowed);
    m_margin->readText
        = [](const QString& text, int) { return MarginFromText(text.toStdString()); };
    marginRow->addWidget(m_margin);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(direction);
    layout->addWidget(colour);
    layout->addWidget(marginBox);
    layout->addLayout(OkCancel(this, [this] { OKBtnClick(); }));
}

void TConnectDlg::AddDocument(const QString& caption, QObject* window)
{
    m_list->addItem(caption);
    m_windows.emplace_back(window);
}

QObject* TConnectDlg::Chosen() const
{
    const int row = m_list->currentRow();
    if (row < 0 || size_t(row) >= m_windows.size() || !m_list->item(row)->isSelected())
        return nullptr;
    return m_windows[size_t(row)];
}

JoinSettings TConnectDlg::Settings() const
{
    return { JoinDirection(std::max(0, m_direction->checkedId())),
        MarginColour(std::max(0, m_colour->checkedId())), m_margin->Position() };
}

void TConnectDlg::SetSettings(const JoinSettings& settings)
{
    if (QAbstractButton* b = m_direction->button(int(settings.direction)))
        b->setChecked(true);
    if (QAbstractButton* b = m_colour->button(int(settings.colour)))
        b->setChecked(true);
    m_margin->SetPosition(settings.margin);
}

void TConnectDlg::OKBtnClick()
{
    if (m_margin->Edit()->hasFocus())
        m_margin->EditExit();
    if (!Chosen()) {
        platform::qt::ShowError(this, U("連結対象を選択してください。"));
        return;
    }
    accept();
}

} // namespace vtl::processing::ui
