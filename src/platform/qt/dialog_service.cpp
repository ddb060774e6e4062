#include "platform/qt/dialog_service.h"

#include "platform/qt/dialog_buttons.h"
#include <QAbstractButton>
#include <QCloseEvent>

#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QVBoxLayout>

namespace vtl::platform::qt {

QString QtFilter(const QString& filter)
{
    const QStringList parts = filter.split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        // "*.*" means every file, also those without an extension, as the program's lists use it.
        if (patterns == QStringLiteral("*.*"))
            patterns = QStringLiteral("*");
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
    // The sixteen colours of the font dialog, as the system's own offers them.
    struct NamedColour {
        const char* name;
        int32_t value; // 0x00BBGGRR
    };
    constexpr NamedColour kFontColours[16]
        = { { "黒", 0x000000 }, { "茶色", 0x000080 }, { "緑", 0x008000 }, { "オリーブ", 0x008080 },
              { "紺", 0x800000 }, { "紫", 0x800080 }, { "青緑", 0x808000 }, { "灰色", 0x808080 },
              { "銀色", 0xC0C0C0 }, { "赤", 0x0000FF }, { "黄緑", 0x00FF00 }, { "黄", 0x00FFFF },
              { "青", 0xFF0000 }, { "赤紫", 0xFF00FF }, { "水色", 0xFFFF00 }, { "白", 0xFFFFFF } };

    QIcon Swatch(int32_t value)
    {
        QPixmap pixmap(16, 12);
        pixmap.fill(QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF));
        return QIcon(pixmap);
    }

    // The sixteen colours, with the current one chosen; a colour that is none of them is kept as
    // "カスタム", and a system colour (the window text) shows as black.
    void FillFontColours(QComboBox& box, int32_t current)
    {
        const int32_t shown = current < 0 ? 0 : current;
        for (const NamedColour& c : kFontColours)
            box.addItem(Swatch(c.value), QString::fromUtf8(c.name), c.value);
        int index = box.findData(shown);
        if (index < 0) {
            box.addItem(Swatch(shown), QStringLiteral("カスタム"), shown);
            index = box.count() - 1;
        }
        box.setCurrentIndex(index);
    }

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

        std::optional<FontChoice> ChooseFont(QWidget* parent, const FontChoice& initial) override
        {
            ModalScope modal;
            QDialog dialog(parent);
            dialog.setObjectName(QStringLiteral("FontDialog1"));
            dialog.setWindowTitle(QStringLiteral("フォント"));
            auto* layout = new QVBoxLayout(&dialog);
            // The system's font chooser, with a colour beside the font as the text tool draws it.
            auto* fonts = new QFontDialog(&dialog);
            fonts->setWindowFlags(Qt::Widget);
            fonts->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
            fonts->setCurrentFont(initial.font);
            layout->addWidget(fonts);
            auto* row = new QHBoxLayout;
            auto* label = new QLabel(QStringLiteral("色(&C):"), &dialog);
            auto* colours = new QComboBox(&dialog);
            colours->setObjectName(QStringLiteral("ColorBox"));
            label->setBuddy(colours);
            FillFontColours(*colours, initial.colour);
            row->addWidget(label);
            row->addWidget(colours, 1);
            row->addStretch();
            layout->addLayout(row);
            layout->addLayout(OkCancelButtons(dialog, [&dialog] { dialog.accept(); }));
            if (dialog.exec() != QDialog::Accepted)
                return std::nullopt;
            return FontChoice { fonts->currentFont(), colours->currentData().toInt() };
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
