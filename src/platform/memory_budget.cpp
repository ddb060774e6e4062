#include "platform/memory_budget.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace vtl::platform {

namespace {
    constexpr uint64_t kMiB = uint64_t(1) << 20;
    // A full-screen window of 32-bit pixels on a large monitor, and what drawing it needs.
    constexpr uint64_t kScreenAllowance = 64 * kMiB;

    std::string Megabytes(uint64_t bytes)
    {
        char text[32];
        std::snprintf(text, sizeof text, "%llu MB",
            static_cast<unsigned long long>((bytes + kMiB - 1) / kMiB));
        return text;
    }
}

EPictureTooLarge::EPictureTooLarge(uint64_t need, uint64_t budget)
    : std::runtime_error("画像が大きすぎます。開くには約 " + Megabytes(need)
          + " のメモリが必要ですが、上限は " + Megabytes(budget) + " です。")
    , m_need(need)
    , m_budget(budget)
{
}

uint64_t PhysicalMemory()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long size = ::sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || size <= 0)
        return 0;
    return uint64_t(pages) * uint64_t(size);
}

MemoryBudget MemoryBudget::Automatic()
{
    return { std::max<uint64_t>(PhysicalMemory() / 2, 256 * kMiB) };
}

MemoryBudget MemoryBudget::FromMegabytes(int64_t megabytes)
{
    if (megabytes <= 0)
        return Automatic();
    return { std::min<uint64_t>(uint64_t(megabytes), UINT64_MAX / kMiB) * kMiB };
}

MemoryBudget MemoryBudget::ForThumbnails() const { return { std::min(bytes / 8, 512 * kMiB) }; }

void MemoryBudget::Require(uint64_t cost) const
{
    if (cost > bytes)
        throw EPictureTooLarge(cost, bytes);
}

uint64_t OpeningCost(int64_t width, int64_t height, int64_t bitsPerPixel)
{
    if (width <= 0 || height <= 0 || bitsPerPixel <= 0)
        return 0;
    // Sides fit in 32 bits, so the pixel count fits in 64; beyond that everything saturates.
    if (width > INT32_MAX || height > INT32_MAX || bitsPerPixel > 64)
        return UINT64_MAX;
    const uint64_t pixels = uint64_t(width) * uint64_t(height);
    if (pixels > (UINT64_MAX - 7) / uint64_t(bitsPerPixel))
        return UINT64_MAX;
    const uint64_t picture = (pixels * uint64_t(bitsPerPixel) + 7) / 8;
    if (picture > (UINT64_MAX - kScreenAllowance) / 2)
        return UINT64_MAX;
    return 2 * picture + kScreenAllowance;
}

} // namespace vtl::platform
