#include "sane_options.h"

#include <sane/saneopts.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

namespace vtl::twain_sane {

Option FindOption(SANE_Handle device, const char* name)
{
    if (!device)
        return {};
    // Option 0 is the count; a device may answer null before its last option, so the walk
    // ends at the first gap.
    for (SANE_Int n = 1; n < 10000; ++n) {
        const SANE_Option_Descriptor* d = sane_get_option_descriptor(device, n);
        if (!d)
            break;
        if (d->name && std::strcmp(d->name, name) == 0 && d->type != SANE_TYPE_GROUP)
            return { n, d };
    }
    return {};
}

bool Settable(const Option& option)
{
    return option && SANE_OPTION_IS_ACTIVE(option.desc->cap)
        && SANE_OPTION_IS_SETTABLE(option.desc->cap);
}

namespace {

    bool IsNumber(const Option& option)
    {
        const auto type = option.desc->type;
        return (type == SANE_TYPE_INT || type == SANE_TYPE_FIXED || type == SANE_TYPE_BOOL)
            && option.desc->size == static_cast<SANE_Int>(sizeof(SANE_Word));
    }

    double FromWord(const Option& option, SANE_Word word)
    {
        return option.desc->type == SANE_TYPE_FIXED ? SANE_UNFIX(word) : static_cast<double>(word);
    }

    SANE_Word ToWord(const Option& option, double value)
    {
        if (option.desc->type == SANE_TYPE_FIXED)
            return SANE_FIX(value);
        return static_cast<SANE_Word>(std::lround(value));
    }

} // namespace

std::optional<double> GetNumber(SANE_Handle device, const Option& option)
{
    if (!option || !IsNumber(option) || !SANE_OPTION_IS_ACTIVE(option.desc->cap))
        return std::nullopt;
    SANE_Word word = 0;
    if (sane_control_option(device, option.index, SANE_ACTION_GET_VALUE, &word, nullptr)
        != SANE_STATUS_GOOD)
        return std::nullopt;
    return FromWord(option, word);
}

SANE_Status SetNumber(SANE_Handle device, const Option& option, double value, SANE_Int* info)
{
    if (!option || !IsNumber(option))
        return SANE_STATUS_INVAL;
    SANE_Word word = ToWord(option, value);
    return sane_control_option(device, option.index, SANE_ACTION_SET_VALUE, &word, info);
}

std::optional<std::string> GetString(SANE_Handle device, const Option& option)
{
    if (!option || option.desc->type != SANE_TYPE_STRING || option.desc->size <= 0
        || !SANE_OPTION_IS_ACTIVE(option.desc->cap))
        return std::nullopt;
    std::string value(static_cast<size_t>(option.desc->size) + 1, '\0');
    if (sane_control_option(device, option.index, SANE_ACTION_GET_VALUE, value.data(), nullptr)
        != SANE_STATUS_GOOD)
        return std::nullopt;
    // The spare byte keeps a backend that fills the whole buffer from running off its end.
    value.resize(std::strlen(value.c_str()));
    return value;
}

SANE_Status SetString(
    SANE_Handle device, const Option& option, const std::string& value, SANE_Int* info)
{
    if (!option || option.desc->type != SANE_TYPE_STRING || option.desc->size <= 0)
        return SANE_STATUS_INVAL;
    std::string buffer(static_cast<size_t>(option.desc->size), '\0');
    std::memcpy(buffer.data(), value.data(), std::min(value.size(), buffer.size() - 1));
    return sane_control_option(device, option.index, SANE_ACTION_SET_VALUE, buffer.data(), info);
}

std::vector<std::string> StringChoices(const Option& option)
{
    std::vector<std::string> choices;
    if (!option || option.desc->constraint_type != SANE_CONSTRAINT_STRING_LIST
        || !option.desc->constraint.string_list)
        return choices;
    for (const SANE_String_Const* s = option.desc->constraint.string_list; *s; ++s)
        choices.emplace_back(*s);
    return choices;
}

std::vector<double> NumberChoices(const Option& option)
{
    std::vector<double> choices;
    if (!option || !IsNumber(option) || option.desc->constraint_type != SANE_CONSTRAINT_WORD_LIST
        || !option.desc->constraint.word_list)
        return choices;
    const SANE_Word* list = option.desc->constraint.word_list;
    // The first word is the count; a device claiming thousands of values is not believed.
    const SANE_Word count = std::clamp<SANE_Word>(list[0], 0, 4096);
    for (SANE_Word i = 1; i <= count; ++i)
        choices.push_back(FromWord(option, list[i]));
    return choices;
}

std::optional<NumberRange> Range(const Option& option)
{
    if (!option || !IsNumber(option) || option.desc->constraint_type != SANE_CONSTRAINT_RANGE
        || !option.desc->constraint.range)
        return std::nullopt;
    const SANE_Range& r = *option.desc->constraint.range;
    NumberRange range { FromWord(option, r.min), FromWord(option, r.max),
        FromWord(option, r.quant) };
    if (range.max < range.min)
        std::swap(range.min, range.max);
    return range;
}

bool IsFeederSource(const std::string& value)
{
    std::string lower = value;
    std::transform(lower.begin(), lower.end(), lower.begin(),
        [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.find("adf") != std::string::npos || lower.find("feeder") != std::string::npos
        || lower.find("duplex") != std::string::npos;
}

bool HasFeeder(SANE_Handle device)
{
    const Option source = FindOption(device, SANE_NAME_SCAN_SOURCE);
    const auto value = GetString(device, source);
    return value && IsFeederSource(*value);
}

} // namespace vtl::twain_sane
