#include "source_dialog.h"

#include "sane_options.h"
#include "scan_job.h"

#include <sane/saneopts.h>

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <optional>
#include <tuple>
#include <utility>

namespace vtl::twain_sane {

namespace {

    QString U(const char* text) { return QString::fromUtf8(text); }

    const char* const kCaption = "スキャン";
    const char* const kSource = "読み取り元";
    const char* const kMode = "カラーモード";
    const char* const kDepth = "ビット数";
    const char* const kResolution = "解像度";
    const char* const kBrightness = "明るさ";
    const char* const kContrast = "コントラスト";
    const char* const kArea = "読み取り範囲";
    const char* const kLeft = "左";
    const char* const kTop = "上";
    const char* const kRight = "右";
    const char* const kBottom = "下";
    const char* const kPreview = "プレビュー";
    const char* const kAcquire = "取り込み";
    const char* const kCancel = "キャンセル";
    const char* const kPreviewing = "プレビュー中...";
    const char* const kPreviewFailed = "プレビューできませんでした。";
    const char* const kNotSet = "設定できませんでした。";
    const char* const kFailed = "エラーが発生しました。";

    // Resolutions offered when the device takes any value of a range.
    constexpr double kCommonResolutions[]
        = { 50, 75, 100, 150, 200, 300, 400, 600, 1200, 2400, 4800 };
    // The preview aims at this many pixels across the longer side of the bed.
    constexpr double kPreviewPixels = 300;

    // The device's own word for a mode or source, in the program's language where it is a common
    // one.
    QString ValueCaption(const std::string& option, const std::string& value)
    {
        std::string lower = value;
        std::transform(lower.begin(), lower.end(), lower.begin(),
            [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (option == SANE_NAME_SCAN_MODE) {
            if (lower == "color")
                return U("カラー");
            if (lower == "gray" || lower == "grey")
                return U("グレー");
            if (lower == "lineart")
                return U("白黒");
            if (lower == "halftone")
                return U("ハーフトーン");
        } else if (option == SANE_NAME_SCAN_SOURCE) {
            if (lower == "flatbed")
                return U("原稿台");
            if (lower == "adf" || lower == "automatic document feeder")
                return QStringLiteral("ADF");
            if (lower == "adf duplex" || lower == "duplex")
                return U("ADF (両面)");
        }
        return QString::fromStdString(value);
    }

    QString NumberCaption(const std::string& option, double value)
    {
        const QString number = QString::number(value, 'g', 6);
        if (option == SANE_NAME_SCAN_RESOLUTION)
            return number + QStringLiteral(" dpi");
        if (option == SANE_NAME_BIT_DEPTH)
            return number + U(" ビット");
        return number;
    }

    QString UnitSuffix(SANE_Unit unit)
    {
        switch (unit) {
        case SANE_UNIT_MM:
            return QStringLiteral(" mm");
        case SANE_UNIT_PIXEL:
            return QStringLiteral(" px");
        case SANE_UNIT_PERCENT:
            return QStringLiteral(" %");
        case SANE_UNIT_DPI:
            return QStringLiteral(" dpi");
        default:
            return {};
        }
    }

    // The value a range or list allows nearest to `wanted`.
    double Allowed(const Option& option, double wanted)
    {
        const auto list = NumberChoices(option);
        if (!list.empty())
            return *std::min_element(list.begin(), list.end(),
                [&](double a, double b) { return std::abs(a - wanted) < std::abs(b - wanted); });
        if (const auto range = Range(option)) {
            double value = std::clamp(wanted, range->min, range->max);
            if (range->quant > 0)
                value = range->min + std::round((value - range->min) / range->quant) * range->quant;
            return std::clamp(value, range->min, range->max);
        }
        return wanted;
    }

    // A packed DIB as a picture Qt can show, through a BMP file made in memory.
    QImage ImageOf(const Page& page)
    {
        const size_t size = PackedDibSize(page);
        if (size == 0)
            return {};
        QByteArray bmp(static_cast<qsizetype>(14 + size), '\0');
        auto* bytes = reinterpret_cast<unsigned char*>(bmp.data());
        WritePackedDib(page, bytes + 14);
        uint32_t colours = 0;
        std::memcpy(&colours, bytes + 14 + 32, 4);
        const uint32_t fileSize = static_cast<uint32_t>(14 + size);
        const uint32_t offset = 14 + 40 + colours * 4;
        bytes[0] = 'B';
        bytes[1] = 'M';
        std::memcpy(bytes + 2, &fileSize, 4);
        std::memcpy(bytes + 10, &offset, 4);
        return QImage::fromData(bmp, "BMP");
    }

} // namespace

// The preview: the picture of the whole bed, with the scan area drawn on it; dragging over it
// chooses a new area.
class PreviewArea : public QWidget {
public:
    explicit PreviewArea(QWidget* parent)
        : QWidget(parent)
    {
        setObjectName(QStringLiteral("PreviewArea"));
        setMinimumSize(240, 240);
    }
    std::function<void(const QRectF&)> onDragged;

    void SetBed(const QRectF& bed)
    {
        m_bed = bed;
        update();
    }
    void SetArea(const QRectF& area)
    {
        m_area = area;
        update();
    }
    void SetImage(QImage image)
    {
        m_image = std::move(image);
        // What the preview shows, for a test or an accessibility tool to read.
        setProperty("pictureSize", m_image.size());
        update();
    }
    const QImage& Image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QRectF frame = Frame();
        painter.fillRect(rect(), palette().window());
        painter.fillRect(frame, Qt::white);
        if (!m_image.isNull())
            painter.drawImage(frame, m_image);
        if (m_bed.isValid() && m_area.isValid()) {
            painter.setPen(QPen(Qt::red, 1, Qt::DashLine));
            painter.drawRect(ToWidget(m_area));
        }
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        m_dragFrom = event->position();
        m_dragging = m_bed.isValid() && Frame().contains(m_dragFrom);
    }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (m_dragging)
            SetArea(FromWidget(QRectF(m_dragFrom, event->position()).normalized()));
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (!m_dragging)
            return;
        m_dragging = false;
        const QRectF area = FromWidget(QRectF(m_dragFrom, event->position()).normalized());
        if (area.width() > 0 && area.height() > 0 && onDragged)
            onDragged(area);
    }

private:
    // The bed drawn to fit the widget, keeping its proportions.
    QRectF Frame() const
    {
        const QRectF room = QRectF(rect()).adjusted(4, 4, -4, -4);
        if (!m_bed.isValid() || m_bed.width() <= 0 || m_bed.height() <= 0)
            return room;
        const double scale = std::min(room.width() / m_bed.width(), room.height() / m_bed.height());
        QRectF frame(0, 0, m_bed.width() * scale, m_bed.height() * scale);
        frame.moveCenter(room.center());
        return frame;
    }
    QRectF ToWidget(const QRectF& area) const
    {
        const QRectF f = Frame();
        const double sx = f.width() / m_bed.width();
        const double sy = f.height() / m_bed.height();
        return QRectF(f.left() + (area.left() - m_bed.left()) * sx,
            f.top() + (area.top() - m_bed.top()) * sy, area.width() * sx, area.height() * sy);
    }
    QRectF FromWidget(const QRectF& r) const
    {
        const QRectF f = Frame();
        const QRectF clipped = r.intersected(f);
        const double sx = m_bed.width() / f.width();
        const double sy = m_bed.height() / f.height();
        return QRectF(m_bed.left() + (clipped.left() - f.left()) * sx,
            m_bed.top() + (clipped.top() - f.top()) * sy, clipped.width() * sx,
            clipped.height() * sy);
    }

    QRectF m_bed;
    QRectF m_area;
    QImage m_image;
    QPointF m_dragFrom;
    bool m_dragging = false;
};

struct SourceDialog::Choice {
    std::string option;
    QLabel* label = nullptr;
    QComboBox* combo = nullptr;
    QDoubleSpinBox* spin = nullptr;
};

SourceDialog::SourceDialog(SANE_Handle device, const std::string& deviceName, QWidget* parent)
    : QDialog(parent)
    , m_device(device)
{
    setObjectName(QStringLiteral("SourceDlg"));
    setWindowTitle(U(kCaption) + QStringLiteral(" - ") + QString::fromStdString(deviceName));
    Build();
    Refresh();
}

SourceDialog::~SourceDialog() = default;

void SourceDialog::Build()
{
    auto* outer = new QVBoxLayout(this);
    auto* columns = new QHBoxLayout;
    outer->addLayout(columns);
    auto* left = new QVBoxLayout;
    columns->addLayout(left);
    auto* form = new QFormLayout;
    left->addLayout(form);
    auto addRow = [&](Choice choice, QWidget* field) {
        form->addRow(choice.label, field);
        m_choices.push_back(std::move(choice));
    };
    auto combo = [&](const char* option, const char* caption, const char* name) {
        Choice c { option, new QLabel(U(caption), this), new QComboBox(this), nullptr };
        c.combo->setObjectName(QString::fromUtf8(name));
        QComboBox* box = c.combo;
        const std::string key = option;
        connect(box, &QComboBox::currentIndexChanged, this, [this, box, key](int index) {
            const QVariant chosen = box->itemData(index);
            Changed([&](SANE_Int* info) {
                const Option o = FindOption(m_device, key.c_str());
                if (chosen.typeId() == QMetaType::QString)
                    return SetString(m_device, o, chosen.toString().toStdString(), info);
                return SetNumber(m_device, o, chosen.toDouble(), info);
            });
        });
        addRow(std::move(c), box);
    };
    auto spin = [&](const char* option, const char* caption, const char* name) {
        Choice c { option, new QLabel(U(caption), this), nullptr, new QDoubleSpinBox(this) };
        c.spin->setObjectName(QString::fromUtf8(name));
        QDoubleSpinBox* box = c.spin;
        const std::string key = option;
        connect(box, &QDoubleSpinBox::valueChanged, this, [this, key](double value) {
            Changed([&](SANE_Int* info) {
                return SetNumber(m_device, FindOption(m_device, key.c_str()), value, info);
            });
        });
        return c;
    };
    combo(SANE_NAME_SCAN_SOURCE, kSource, "SourceBox");
    combo(SANE_NAME_SCAN_MODE, kMode, "ModeBox");
    combo(SANE_NAME_BIT_DEPTH, kDepth, "DepthBox");
    combo(SANE_NAME_SCAN_RESOLUTION, kResolution, "ResolutionBox");
    for (auto [option, caption, name] :
        { std::tuple { SANE_NAME_BRIGHTNESS, kBrightness, "BrightnessBox" },
            std::tuple { SANE_NAME_CONTRAST, kContrast, "ContrastBox" } }) {
        Choice c = spin(option, caption, name);
        QDoubleSpinBox* box = c.spin;
        addRow(std::move(c), box);
    }

    auto* area = new QGroupBox(U(kArea), this);
    area->setObjectName(QStringLiteral("AreaBox"));
    auto* grid = new QGridLayout(area);
    int cell = 0;
    for (auto [option, caption, name] : { std::tuple { SANE_NAME_SCAN_TL_X, kLeft, "LeftBox" },
             std::tuple { SANE_NAME_SCAN_TL_Y, kTop, "TopBox" },
             std::tuple { SANE_NAME_SCAN_BR_X, kRight, "RightBox" },
             std::tuple { SANE_NAME_SCAN_BR_Y, kBottom, "BottomBox" } }) {
        Choice c = spin(option, caption, name);
        c.label->setParent(area);
        c.spin->setParent(area);
        grid->addWidget(c.label, cell / 2, (cell % 2) * 2);
        grid->addWidget(c.spin, cell / 2, (cell % 2) * 2 + 1);
        ++cell;
        m_choices.push_back(std::move(c));
    }
    left->addWidget(area);
    left->addStretch();

    auto* right = new QVBoxLayout;
    columns->addLayout(right);
    m_preview = new PreviewArea(this);
    m_preview->onDragged
        = [this](const QRectF& r) { AreaDragged(r.left(), r.top(), r.right(), r.bottom()); };
    right->addWidget(m_preview);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("StatusLabel"));
    right->addWidget(m_status);

    auto* buttons = new QHBoxLayout;
    outer->addLayout(buttons);
    m_previewBtn = new QPushButton(U(kPreview), this);
    m_previewBtn->setObjectName(QStringLiteral("PreviewBtn"));
    m_acquireBtn = new QPushButton(U(kAcquire), this);
    m_acquireBtn->setObjectName(QStringLiteral("AcquireBtn"));
    m_acquireBtn->setDefault(true);
    m_cancelBtn = new QPushButton(U(kCancel), this);
    m_cancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    buttons->addWidget(m_previewBtn);
    buttons->addStretch();
    buttons->addWidget(m_acquireBtn);
    buttons->addWidget(m_cancelBtn);
    connect(m_previewBtn, &QPushButton::clicked, this, [this] { Guard([this] { Preview(); }); });
    connect(m_acquireBtn, &QPushButton::clicked, this, [this] {
        m_scanAsked = true;
        SetBusy(true, QString());
    });
    connect(m_cancelBtn, &QPushButton::clicked, this, &SourceDialog::reject);
}

void SourceDialog::reject()
{
    // The window stays until the manager is told to disable the source; the request is what the
    // manager passes on.
    m_closeAsked = true;
    m_cancelBtn->setEnabled(false);
}

void SourceDialog::Guard(const std::function<void()>& body)
{
    // Nothing may leave a Qt event handler; what fails is told in the status line.
    try {
        body();
    } catch (...) {
        m_busy = false;
        m_status->setText(U(kFailed));
        Refresh();
    }
}

void SourceDialog::SetBusy(bool busy, const QString& text)
{
    m_busy = busy;
    m_status->setText(text);
    Refresh();
}

void SourceDialog::Resume(const QString& text)
{
    m_scanAsked = false;
    SetBusy(false, text);
}

void SourceDialog::Changed(const std::function<SANE_Status(SANE_Int*)>& set)
{
    Guard([&] {
        SANE_Int info = 0;
        m_status->setText(set(&info) == SANE_STATUS_GOOD ? QString() : U(kNotSet));
        // Any change may make other options appear, go or change their limits.
        Refresh();
    });
}

void SourceDialog::AreaDragged(double left, double top, double right, double bottom)
{
    Guard([&] {
        for (auto [name, value] : { std::pair { SANE_NAME_SCAN_TL_X, left },
                 std::pair { SANE_NAME_SCAN_TL_Y, top }, std::pair { SANE_NAME_SCAN_BR_X, right },
                 std::pair { SANE_NAME_SCAN_BR_Y, bottom } }) {
            const Option o = FindOption(m_device, name);
            if (Settable(o))
                SetNumber(m_device, o, Allowed(o, value));
        }
        Refresh();
    });
}

void SourceDialog::Refresh()
{
    for (Choice& c : m_choices) {
        const Option o = FindOption(m_device, c.option.c_str());
        QWidget* field = c.combo ? static_cast<QWidget*>(c.combo) : c.spin;
        const QSignalBlocker blocker(field);
        c.label->setVisible(bool(o));
        field->setVisible(bool(o));
        if (!o)
            continue;
        field->setEnabled(Settable(o) && !m_busy);
        if (c.combo) {
            c.combo->clear();
            if (o.desc->type == SANE_TYPE_STRING) {
                for (const std::string& value : StringChoices(o))
                    c.combo->addItem(ValueCaption(c.option, value), QString::fromStdString(value));
                if (const auto current = GetString(m_device, o))
                    c.combo->setCurrentIndex(c.combo->findData(QString::fromStdString(*current)));
                continue;
            }
            std::vector<double> values = NumberChoices(o);
            if (values.empty()) {
                if (const auto range = Range(o)) {
                    for (double v : kCommonResolutions)
                        if (v >= range->min && v <= range->max)
                            values.push_back(v);
                    if (values.empty())
                        values.push_back(range->min);
                }
            }
            const auto current = GetNumber(m_device, o);
            if (current && std::find(values.begin(), values.end(), *current) == values.end()) {
                values.push_back(*current);
                std::sort(values.begin(), values.end());
            }
            for (double v : values)
                c.combo->addItem(NumberCaption(c.option, v), v);
            if (current)
                c.combo->setCurrentIndex(c.combo->findData(*current));
        } else {
            const bool fixed = o.desc->type == SANE_TYPE_FIXED;
            c.spin->setDecimals(fixed ? 1 : 0);
            c.spin->setSuffix(UnitSuffix(o.desc->unit));
            if (const auto range = Range(o)) {
                c.spin->setRange(range->min, range->max);
                c.spin->setSingleStep(range->quant > 0 ? range->quant : 1);
            } else {
                c.spin->setRange(-1e6, 1e6);
            }
            if (const auto value = GetNumber(m_device, o))
                c.spin->setValue(*value);
        }
    }

    // The preview shows the whole bed, the scan area on it.
    auto range = [&](const char* name) { return Range(FindOption(m_device, name)); };
    auto value = [&](const char* name) { return GetNumber(m_device, FindOption(m_device, name)); };
    const auto x = range(SANE_NAME_SCAN_TL_X);
    const auto y = range(SANE_NAME_SCAN_TL_Y);
    if (x && y)
        m_preview->SetBed(QRectF(x->min, y->min, x->max - x->min, y->max - y->min));
    const auto l = value(SANE_NAME_SCAN_TL_X);
    const auto t = value(SANE_NAME_SCAN_TL_Y);
    const auto r = value(SANE_NAME_SCAN_BR_X);
    const auto b = value(SANE_NAME_SCAN_BR_Y);
    if (l && t && r && b)
        m_preview->SetArea(QRectF(QPointF(*l, *t), QPointF(*r, *b)).normalized());

    m_previewBtn->setEnabled(!m_busy);
    m_acquireBtn->setEnabled(!m_busy);
    m_cancelBtn->setEnabled(!m_closeAsked);
}

bool SourceDialog::Preview()
{
    // The options the preview changes, and their values to put back afterwards.
    const char* const changed[] = { SANE_NAME_PREVIEW, SANE_NAME_SCAN_RESOLUTION,
        SANE_NAME_SCAN_TL_X, SANE_NAME_SCAN_TL_Y, SANE_NAME_SCAN_BR_X, SANE_NAME_SCAN_BR_Y };
    std::vector<std::pair<const char*, double>> saved;
    for (const char* name : changed)
        if (const auto v = GetNumber(m_device, FindOption(m_device, name)))
            saved.emplace_back(name, *v);
    struct Restore {
        SourceDialog& d;
        const std::vector<std::pair<const char*, double>>& saved;
        ~Restore()
        {
            sane_cancel(d.m_device);
            if (JobStillRunning())
                return;
            for (const auto& [name, v] : saved)
                SetNumber(d.m_device, FindOption(d.m_device, name), v);
            d.SetBusy(false, d.m_status->text());
        }
    };

    SetBusy(true, U(kPreviewing));
    Restore restore { *this, saved };
    auto set = [&](const char* name, double v) {
        const Option o = FindOption(m_device, name);
        if (Settable(o))
            SetNumber(m_device, o, Allowed(o, v));
    };
    set(SANE_NAME_PREVIEW, 1);
    const auto x = Range(FindOption(m_device, SANE_NAME_SCAN_TL_X));
    const auto y = Range(FindOption(m_device, SANE_NAME_SCAN_TL_Y));
    const Option tlx = FindOption(m_device, SANE_NAME_SCAN_TL_X);
    if (x && y) {
        set(SANE_NAME_SCAN_TL_X, x->min);
        set(SANE_NAME_SCAN_TL_Y, y->min);
        set(SANE_NAME_SCAN_BR_X, x->max);
        set(SANE_NAME_SCAN_BR_Y, y->max);
        if (tlx.desc->unit == SANE_UNIT_MM) {
            const double longer = std::max(x->max - x->min, y->max - y->min);
            if (longer > 0)
                set(SANE_NAME_SCAN_RESOLUTION, kPreviewPixels * 25.4 / longer);
        }
    }
    const CancelAsk cancel = [this] { return m_closeAsked; };
    Page page;
    JobResult result = StartPage(m_device, cancel);
    if (result.end == JobEnd::Done)
        result = ReadPage(m_device, page, cancel);
    QImage image = result.end == JobEnd::Done ? ImageOf(page) : QImage();
    const bool made = !image.isNull();
    if (made)
        m_preview->SetImage(std::move(image));
    m_status->setText(made ? QString() : U(kPreviewFailed));
    return made;
}

const QImage& SourceDialog::PreviewImage() const { return m_preview->Image(); }

} // namespace vtl::twain_sane
