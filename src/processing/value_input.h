#pragma once
// The rules behind the processing dialogs' inputs, free of any window: which keys an edit lets
// through, how a typed value is checked and what the user is told, the binarisation threshold's
// exit rule, and where a dialog is placed.

#include "platform/geometry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vtl::processing {

inline constexpr const char* kNotAnInteger = "整数値を入力してください";
inline constexpr const char* kNotANumber = "数値を入力してください";
inline constexpr const char* kValueTooLarge = "値が大きすぎます";
inline constexpr const char* kValueTooSmall = "値が小さすぎます";

inline constexpr char32_t kBackspace = 8;

// A real number as the framework reads one: blanks around it, an optional sign, digits with at
// most one decimal point, an optional exponent; nothing else (no "inf", no hexadecimal).
std::optional<double> ParseReal(std::string_view text);
// A real number in the framework's default text form: up to 15 significant digits, no trailing
// zeros, an exponent such as "1E-5" or "1E20" only for very small or large values.
std::string RealToText(double value);

// The value input dialog `TInputDlg`.
enum class InputMode { Text, Integer, Real };
// Keys that reach `edInp`: all in text mode; digits, "-" and backspace in integer mode; also "."
// in real mode.
bool InputKeyAllowed(InputMode mode, char32_t key);

struct InputCheck {
    bool accepted = false;
    std::string message; // the error to show when not accepted
    int32_t integer = 0;
    double real = 0.0;
};
// OK in integer mode: the value, or the message to show while the dialog stays open. When
// minimum and maximum are equal, any integer is taken.
InputCheck CheckIntegerInput(std::string_view text, int32_t minimum, int32_t maximum);
InputCheck CheckRealInput(std::string_view text, double minimum, double maximum);

// The binarisation dialog `TSMonoDlg`.
inline constexpr int kThresholdMin = 1, kThresholdMax = 254, kDefaultThreshold = 127;
// Only digits and backspace reach `Edit1`.
bool DigitKeyAllowed(char32_t key);
// `Edit1` on exit: an integer of 0 or less becomes 1, of 255 or more 254; text that is no integer
// gives the up-down's current position.
int ThresholdFromText(std::string_view text, int currentPosition);

// A dialog of this size centred on the pointer, then moved into the work area: left and top edges
// first, then right and bottom.
platform::TRect PlaceDialog(
    int32_t width, int32_t height, platform::TPoint cursor, const platform::TRect& workArea);

} // namespace vtl::processing
