#pragma once
// The dialog "イメージの保存" shown before acquiring pictures to files: folder, base name and
// format of the numbered files.

#include "app/settings.h"

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>

class QComboBox;
class QLineEdit;
class QToolButton;

namespace vtl::input::ui {

// Asks for a folder: (parent, title, folder to start in); nullopt when cancelled. The program
// uses the desktop's folder chooser; tests install their own.
using FolderChooser
    = std::function<std::optional<QString>(QWidget*, const QString&, const QString&)>;
// Replaces the chooser (an empty function restores the desktop's); returns the previous one.
FolderChooser SetFolderChooser(FolderChooser chooser);

class TGImgDlg : public QDialog {
    Q_OBJECT
public:
    explicit TGImgDlg(const app::Settings& settings, QWidget* parent = nullptr);

    QLineEdit* FoEdit() const { return m_folder; }
    QLineEdit* FnEdit() const { return m_name; }
    QComboBox* SvBox() const { return m_format; }
    QToolButton* SpeedButton1() const { return m_browse; }

    // Folder, name and format back into the settings.
    void ApplyTo(app::Settings& settings) const;
    // The folder and the name joined into the base path of the files.
    QString BasePath() const;

    void SpeedButton1Click();
    // "OK": refuses a folder that doesn't exist, with a warning, and stays open.
    void OkClick();

private:
    QLineEdit* m_folder;
    QLineEdit* m_name;
    QComboBox* m_format;
    QToolButton* m_browse;
};

} // namespace vtl::input::ui
