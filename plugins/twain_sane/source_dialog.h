#pragma once
// The source's own window, shown while the program has the source enabled with its interface:
// the device's resolution, colour mode, bit depth, scan area and, where the device has them, scan
// source, brightness and contrast, built from its option descriptors and written to the device as
// soon as they change; a preview scan of the whole bed; 取り込み asks for the transfer, キャンセル
// (or closing the window) ends the run. The window only records what the user asked; the manager
// reads that when the program passes it events, as a source answers its manager.

#include <sane/sane.h>

#include <QDialog>
#include <QImage>

#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;

namespace vtl::twain_sane {

class PreviewArea;

class SourceDialog : public QDialog {
public:
    SourceDialog(SANE_Handle device, const std::string& deviceName, QWidget* parent);
    ~SourceDialog() override;

    bool ScanAsked() const { return m_scanAsked; }
    bool CloseAsked() const { return m_closeAsked; }
    // Locks the options while the device is busy, with `text` in the status line; キャンセル
    // stays usable.
    void SetBusy(bool busy, const QString& text);
    // The transfer asked for is over, or couldn't start: the window waits again, `text` in its
    // status line.
    void Resume(const QString& text);
    // Shows every option as the device has it now.
    void Refresh();
    // Runs a preview scan; false when none could be made.
    bool Preview();
    const QImage& PreviewImage() const;

    void reject() override;

private:
    struct Choice;
    void Build();
    void Changed(const std::function<SANE_Status(SANE_Int*)>& set);
    void Guard(const std::function<void()>& body);
    void AreaDragged(double left, double top, double right, double bottom);

    SANE_Handle m_device;
    std::vector<Choice> m_choices;
    PreviewArea* m_preview = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_previewBtn = nullptr;
    QPushButton* m_acquireBtn = nullptr;
    QPushButton* m_cancelBtn = nullptr;
    bool m_scanAsked = false;
    bool m_closeAsked = false;
    bool m_busy = false;
};

} // namespace vtl::twain_sane
