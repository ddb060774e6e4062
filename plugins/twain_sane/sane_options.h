#pragma once
// A SANE device's options, found by their well-known names ("resolution", "mode", "tl-x" ...) and
// read or written as numbers or strings whatever their SANE type.

#include <sane/sane.h>

#include <optional>
#include <string>
#include <vector>

namespace vtl::twain_sane {

struct Option {
    SANE_Int index = 0;
    const SANE_Option_Descriptor* desc = nullptr;
    explicit operator bool() const { return desc != nullptr; }
};

// The option named `name`, or an empty Option when the device has none.
Option FindOption(SANE_Handle device, const char* name);

// Active and settable by software: what the source's window offers.
bool Settable(const Option& option);

// Single-valued int, fixed and bool options as numbers; anything else gives nothing.
std::optional<double> GetNumber(SANE_Handle device, const Option& option);
// Int options are rounded. `info` receives SANE's reload and inexact hints.
SANE_Status SetNumber(
    SANE_Handle device, const Option& option, double value, SANE_Int* info = nullptr);

std::optional<std::string> GetString(SANE_Handle device, const Option& option);
SANE_Status SetString(
    SANE_Handle device, const Option& option, const std::string& value, SANE_Int* info = nullptr);

// The choices of a string list, or of a word list as numbers.
std::vector<std::string> StringChoices(const Option& option);
std::vector<double> NumberChoices(const Option& option);

struct NumberRange {
    double min = 0;
    double max = 0;
    double quant = 0; // 0: any value
};
std::optional<NumberRange> Range(const Option& option);

// A scan-source value that names a document feeder ("ADF", "Automatic Document Feeder",
// "ADF Duplex" ...).
bool IsFeederSource(const std::string& value);
// The device's current scan source is a feeder.
bool HasFeeder(SANE_Handle device);

} // namespace vtl::twain_sane
