#include "app/setting_file.h"

#include "app/comma_text.h"
#include "app/settings.h"

namespace vtl::app {

std::optional<std::vector<SettingEntry>> ParseSettingFile(std::string_view text)
{
    auto lines = SplitLines(text);
    if (lines.size() < 2 || lines[0] != kSettingFileMarker)
        return std::nullopt;
    std::vector<SettingEntry> entries;
    for (size_t i = 1; i < lines.size(); ++i) {
        auto fields = SplitCommaText(lines[i]);
        if (fields.size() < 2)
            continue;
        SettingEntry entry;
        // A zoom that isn't one of the eight steps opens the picture at 100 %.
        auto zoom = StrToInt(fields[0]);
        entry.zoomIndex = zoom && *zoom >= 0 && *zoom <= 7 ? *zoom : 3;
        entry.path = fields[1];
        if (fields.size() == 7) {
            auto left = StrToInt(fields[3]);
            auto top = StrToInt(fields[4]);
            auto width = StrToInt(fields[5]);
            auto height = StrToInt(fields[6]);
            entry.caption = fields[2];
            // Bounds that aren't numbers are not restored; the caption still is.
            if (left && top && width && height && *width >= 0 && *height >= 0)
                entry.bounds = platform::TRect { *left, *top, *left + *width, *top + *height };
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::string FormatSettingFile(const std::vector<SettingEntry>& entries)
{
    std::string text(kSettingFileMarker);
    text += "\r\n";
    for (const auto& e : entries) {
        platform::TRect b = e.bounds.value_or(platform::TRect {});
        // Paths and captions that hold blanks or commas are quoted, so that they read back whole.
        text += JoinCommaText({ IntToStr(e.zoomIndex), e.path, e.caption.value_or(""),
            IntToStr(b.Left), IntToStr(b.Top), IntToStr(b.Width()), IntToStr(b.Height()) });
        text += "\r\n";
    }
    return text;
}

} // namespace vtl::app
