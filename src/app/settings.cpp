#include "app/settings.h"

#include "platform/registry.h"

#include <cstdio>

namespace vtl::app {

using platform::Registry;
using platform::RegistryRoot;

namespace {
    std::string KeyOf(std::string_view section)
    {
        return std::string(kSettingsKey) + "\\" + std::string(section);
    }

    class Reader {
    public:
        explicit Reader(const Registry& registry)
            : m_registry(registry)
        {
        }
        std::optional<std::string> Text(std::string_view section, std::string_view name) const
        {
            return m_registry.ReadString(RegistryRoot::CurrentUser, KeyOf(section), name);
        }
        void Int(std::string_view section, std::string_view name, int& value) const
        {
            if (auto text = Text(section, name))
                if (auto n = StrToInt(*text))
                    value = *n;
        }
        void Bool(std::string_view section, std::string_view name, bool& value) const
        {
            int n = value ? 1 : 0;
            Int(section, name, n);
            value = n != 0;
        }
        void String(std::string_view section, std::string_view name, std::string& value) const
        {
            if (auto text = Text(section, name))
                value = *text;
        }

    private:
        const Registry& m_registry;
    };

    class Writer {
    public:
        explicit Writer(Registry& registry)
            : m_registry(registry)
        {
        }
        void String(std::string_view section, std::string_view name, std::string_view value)
        {
            m_registry.WriteString(RegistryRoot::CurrentUser, KeyOf(section), name, value);
        }
        void Int(std::string_view section, std::string_view name, int value)
        {
            String(section, name, IntToStr(value));
        }
        void Bool(std::string_view section, std::string_view name, bool value)
        {
            String(section, name, BoolToStr(value));
        }

    private:
        Registry& m_registry;
    };
}

std::string IntToStr(int value) { return std::to_string(value); }

std::string BoolToStr(bool value) { return value ? "1" : "0"; }

std::string ColorToStr(int32_t color)
{
    char text[16];
    std::snprintf(text, sizeof text, "$%08X", static_cast<uint32_t>(color));
    return text;
}

std::optional<int32_t> StrToInt(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0'
        && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size())
        return std::nullopt;
    uint64_t value = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFull)
            return std::nullopt;
    }
    if (base == 10) {
        if (value > (negative ? 0x80000000ull : 0x7FFFFFFFull))
            return std::nullopt;
        return negative ? static_cast<int32_t>(-static_cast<int64_t>(value))
                        : static_cast<int32_t>(value);
    }
    auto bits = static_cast<int32_t>(static_cast<uint32_t>(value));
    return negative ? static_cast<int32_t>(0u - static_cast<uint32_t>(bits)) : bits;
}

platform::TRect ClampIntoWorkArea(platform::TRect bounds, const platform::TRect& workArea)
{
    const int width = bounds.Width();
    const int height = bounds.Height();
    int left = bounds.Left < workArea.Left ? workArea.Left : bounds.Left;
    int top = bounds.Top < workArea.Top ? workArea.Top : bounds.Top;
    if (left + width > workArea.Right)
        left = workArea.Right - width;
    if (top + height > workArea.Bottom)
        top = workArea.Bottom - height;
    return { left, top, left + width, top + height };
}

int SlideShowInterval(int wait) { return wait == 0 ? 500 : wait * 1000; }

Settings ReadSettings(
    const Registry& registry, const platform::TRect& workArea, const TextFont& defaultFont)
{
    Settings s;
    s.font = defaultFont;
    Reader r(registry);
    r.Int("Pos", "Top", s.top);
    r.Int("Pos", "Left", s.left);
    r.Int("Pos", "Height", s.height);
    r.Int("Pos", "Width", s.width);
    auto clamped
        = ClampIntoWorkArea({ s.left, s.top, s.left + s.width, s.top + s.height }, workArea);
    s.left = clamped.Left;
    s.top = clamped.Top;

    std::string fontName;
    r.String("Font", "Name", fontName);
    if (!fontName.empty()) {
        s.font.name = fontName;
        r.Int("Font", "Size", s.font.size);
        std::string color;
        r.String("Font", "Color", color);
        if (!color.empty())
            if (auto value = StrToInt(color)) // a colour that isn't a number is left unchanged
                s.font.color = *value;
        r.Int("Font", "Style", s.font.style);
    }
    r.Int("Line", "Color", s.lineColor);
    r.Int("Line", "Size", s.lineSize);
    r.Bool("Bar", "Tool", s.toolBar);
    r.Bool("Bar", "Status", s.statusBar);
    r.String("Sum", "Dir", s.sumDir);
    r.Int("Sum", "Width", s.sumWidth);
    r.Bool("Sum", "Save", s.sumSave);
    r.Bool("Op", "png", s.png);
    r.Bool("Op", "wall", s.wall);
    r.Int("Op", "Lev", s.lev);
    r.String("TWAIN", "Dir", s.twainDir);
    r.String("TWAIN", "Name", s.twainName);
    r.Int("TWAIN", "Mode", s.twainMode);
    r.Bool("TWAIN", "Save", s.twainSave);
    r.Int("Op", "wait", s.wait);
    r.Int("Op", "jpg", s.jpg);
    r.Bool("Op", "240", s.show240);
    r.Int("Sum", "Size", s.sumSize);
    r.Int("Limits", "MemoryMB", s.memoryBudgetMB);
    r.Bool("Photo", "Upright", s.photoUpright);
    r.Bool("Photo", "Colours", s.photoTrueColours);
    r.Bool("Order", "Natural", s.naturalOrder);

    // Values that index lists or size things are checked, so that a hand-edited registry can't
    // make the program index past a table: outside its range a value reads as its default.
    const Settings defaults;
    auto keepInRange = [](int& value, int low, int high, int fallback) {
        if (value < low || value > high)
            value = fallback;
    };
    keepInRange(s.font.size, 1, 1638, defaults.font.size);
    keepInRange(s.lineColor, 0, 15, defaults.lineColor);
    // A width of 0 is the thinnest pen, one pixel, and is used as it is.
    keepInRange(s.lineSize, 0, 1000, defaults.lineSize);
    keepInRange(s.sumSize, 0, 4, defaults.sumSize);
    keepInRange(s.twainMode, 0, 4, defaults.twainMode);
    keepInRange(s.wait, 0, 60, defaults.wait);
    keepInRange(s.jpg, 1, 100, defaults.jpg);
    keepInRange(s.lev, 0, 255, defaults.lev);
    return s;
}

void WriteSettings(Registry& registry, const Settings& s, bool maximised)
{
    Writer w(registry);
    if (!maximised) {
        w.Int("Pos", "Top", s.top);
        w.Int("Pos", "Left", s.left);
        w.Int("Pos", "Height", s.height);
        w.Int("Pos", "Width", s.width);
    }
    w.Bool("Bar", "Tool", s.toolBar);
    w.Bool("Bar", "Status", s.statusBar);
    w.String("Sum", "Dir", s.sumDir);
    w.Int("Sum", "Width", s.sumWidth);
    w.Bool("Sum", "Save", s.sumSave);
    w.Bool("Op", "png", s.png);
    w.Bool("Op", "wall", s.wall);
    w.String("Font", "Name", s.font.name);
    w.Int("Font", "Size", s.font.size);
    w.String("Font", "Color", ColorToStr(s.font.color));
    w.Int("Font", "Style", s.font.style);
    w.Int("Line", "Color", s.lineColor);
    w.Int("Line", "Size", s.lineSize);
    w.Int("Op", "Lev", s.lev);
    w.String("TWAIN", "Dir", s.twainDir);
    w.String("TWAIN", "Name", s.twainName);
    w.Int("TWAIN", "Mode", s.twainMode);
    w.Bool("TWAIN", "Save", s.twainSave);
    w.Int("Op", "wait", s.wait);
    w.Int("Op", "jpg", s.jpg);
    w.Int("Sum", "Size", s.sumSize);
    if (s.memoryBudgetMB != 0
        || registry.ReadString(RegistryRoot::CurrentUser, KeyOf("Limits"), "MemoryMB"))
        w.Int("Limits", "MemoryMB", s.memoryBudgetMB);
    // The newer settings are written only once they differ from their defaults or were stored
    // before, so that the files of older versions stay as they were.
    const Settings defaults;
    auto stored = [&registry](const char* key, const char* name) {
        return registry.ReadString(RegistryRoot::CurrentUser, KeyOf(key), name).has_value();
    };
    if (s.photoUpright != defaults.photoUpright || stored("Photo", "Upright"))
        w.Bool("Photo", "Upright", s.photoUpright);
    if (s.photoTrueColours != defaults.photoTrueColours || stored("Photo", "Colours"))
        w.Bool("Photo", "Colours", s.photoTrueColours);
    if (s.naturalOrder != defaults.naturalOrder || stored("Order", "Natural"))
        w.Bool("Order", "Natural", s.naturalOrder);
}

} // namespace vtl::app
