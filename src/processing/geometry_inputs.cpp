#include "processing/geometry_inputs.h"

#include "app/settings.h"

#include <algorithm>

namespace vtl::processing {

int ScaleSizeFromText(std::string_view text, int position)
{
    const auto value = app::StrToInt(text);
    return value ? std::clamp(*value, kScaleSizeMin, kScaleSizeMax) : position;
}

int RatioFromText(std::string_view text, int position)
{
    const auto value = app::StrToInt(text);
    return value ? std::clamp(*value, kRatioMin, kRatioMax) : position;
}

ScaleSize SizeFromRatio(int ratio, int32_t width0, int32_t height0)
{
    return { int(int64_t(ratio) * width0 / 100), int(int64_t(ratio) * height0 / 100) };
}

LinkedSize FollowSize(int value, int32_t own0, int32_t other0)
{
    if (own0 <= 0)
        return {};
    const double other = double(value) * other0 / own0 + 0.5;
    return { int(int64_t(value) * 100 / own0), int(other) };
}

void ClipOffsetExit(std::string_view text, int32_t& offset, int32_t& extent, int32_t limit)
{
    const auto value = app::StrToInt(text);
    offset = value ? std::clamp(*value, 0, std::max(0, limit - 1)) : 0;
    if (int64_t(offset) + extent > limit)
        extent = limit - offset;
}

void ClipExtentExit(std::string_view text, int32_t offset, int32_t& extent, int32_t limit)
{
    const auto value = app::StrToInt(text);
    if (!value)
        return;
    extent = std::max(0, *value);
    if (int64_t(offset) + extent > limit)
        extent = std::max(0, limit - offset);
}

bool ClipChangesPicture(const ClipArea& area, int32_t width, int32_t height)
{
    return !(area.left == 0 && area.top == 0 && area.width == width && area.height == height);
}

int MarginFromText(std::string_view text)
{
    const auto value = app::StrToInt(text);
    return value ? std::clamp(*value, 0, kMarginMax - 1) : 0;
}

} // namespace vtl::processing
