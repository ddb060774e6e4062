#pragma once
// The frame's texts as the user sees them, and its private messages (shared by its files).

#include "app/ui/main_form.h"

#include <QEvent>

namespace vtl::app::ui::texts {

inline constexpr const char* kCaption = "Vistrel";
inline constexpr const char* kSettingFilter = "設定ファイル|*.vtl";
inline constexpr const char* kSetOpenTitle = "設定ファイルの読み込み";
inline constexpr const char* kSetSaveTitle = "設定ファイルの保存";

// The private message asking the frame to save picked colours, with their count.
struct PaletteSaveEvent : QEvent {
    explicit PaletteSaveEvent(int n)
        : QEvent(QEvent::Type(QEvent::User + kWmAppSavePalette))
        , count(n)
    {
    }
    int count;
};

} // namespace vtl::app::ui::texts
