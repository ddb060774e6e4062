#pragma once
// The frame's scanner commands: acquiring pictures into new documents or numbered files, and
// choosing the source.

namespace vtl::app::ui {
class TMainForm;
}

namespace vtl::input::ui {

// "イメージの取得": with TWAIN/Save set, asks for folder, name and format first and writes the
// pictures to files; otherwise each picture becomes a new untitled document.
void ScanImage(app::ui::TMainForm& main);

// "デバイスの選択": the manager's source selection.
void SelectDevice(app::ui::TMainForm& main);

} // namespace vtl::input::ui
