#include "processing/value_input.h"

#include "app/settings.h"

#include <cctype>
#include <charconv>
#include <cstdio>

namespace vtl::processing {

std::optional<double> ParseReal(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // from_chars would also take "inf", "nan" and hexadecimal forms, which are no numbers here.
    if (text.empty()
        || !(std::isdigit(static_cast<unsigned char>(text.front())) || text.front() == '.'))
        return std::nullopt;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.' && c != 'e' && c != 'E'
            && c != '+' && c != '-')
            return std::nullopt;
    double value = 0.0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return negative ? -value : value;
}

std::string RealToText(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.15G", value);
    std::string s = text;
    // "1E-05" and "1E+20" are written "1E-5" and "1E20".
    size_t e = s.find('E');
    if (e != std::string::npos) {
        std::string mantissa = s.substr(0, e);
        std::string exponent = s.substr(e + 1);
        std::string sign;
        if (!exponent.empty() && (exponent[0] == '+' || exponent[0] == '-')) {
            if (exponent[0] == '-')
                sign = "-";
            exponent.erase(0, 1);
        }
        while (exponent.size() > 1 && exponent[0] == '0')
            exponent.erase(0, 1);
        s = mantissa + "E" + sign + exponent;
    }
    return s;
}

bool InputKeyAllowed(InputMode mode, char32_t key)
{
    if (mode == InputMode::Text)
        return true;
    if ((key >= '0' && key <= '9') || key == '-' || key == kBackspace)
        return true;
    return mode == InputMode::Real && key == '.';
}

InputCheck CheckIntegerInput(std::string_view text, int32_t minimum, int32_t maximum)
{
    InputCheck check;
    std::optional<int32_t> value = app::StrToInt(text);
    if (!value) {
        check.message = kNotAnInteger;
        return check;
    }
    if (minimum != maximum) {
        if (*value > maximum) {
            check.message = kValueTooLarge;
            return check;
        }
        if (*value < minimum) {
            check.message = kValueTooSmall;
            return check;
        }
    }
    check.accepted = true;
    check.integer = *value;
    return check;
}

InputCheck CheckRealInput(std::string_view text, double minimum, double maximum)
{
    InputCheck check;
    std::optional<double> value = ParseReal(text);
    if (!value) {
        check.message = kNotANumber;
        return check;
    }
    if (minimum != maximum) {
        if (*value > maximum) {
            check.message = kValueTooLarge;
            return check;
        }
        if (*value < minimum) {
            check.message = kValueTooSmall;
            return check;
        }
    }
    check.accepted = true;
    check.real = *value;
    return check;
}

bool DigitKeyAllowed(char32_t key) { return (key >= '0' && key <= '9') || key == kBackspace; }

int ThresholdFromText(std::string_view text, int currentPosition)
{
    std::optional<int32_t> value = app::StrToInt(text);
    if (!value)
        return currentPosition;
    if (*value <= 0)
        return kThresholdMin;
    if (*value >= 255)
        return kThresholdMax;
    return *value;
}

platform::TRect PlaceDialog(
    int32_t width, int32_t height, platform::TPoint cursor, const platform::TRect& workArea)
{
    const int32_t left = cursor.X - width / 2, top = cursor.Y - height / 2;
    return app::ClampIntoWorkArea({ left, top, left + width, top + height }, workArea);
}

} // namespace vtl::processing
