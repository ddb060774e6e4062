#pragma once
// How much memory opening one picture may take. A file of a few hundred bytes can claim a picture
// of gigabytes (run-length, deflate and JPEG headers say what they like), so every reader's size
// is priced before its pixels are allocated and compared with a budget: by default half of the
// machine's memory, far less for thumbnails. Real panoramas and scans fit; claims beyond the
// machine are refused with the size they would need.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vtl::platform {

// Thrown for a picture that would cost more than the budget; what() names both sizes.
class EPictureTooLarge : public std::runtime_error {
public:
    EPictureTooLarge(uint64_t need, uint64_t budget);
    uint64_t Need() const { return m_need; }
    uint64_t Budget() const { return m_budget; }

private:
    uint64_t m_need;
    uint64_t m_budget;
};

struct MemoryBudget {
    uint64_t bytes = 0;

    // Half of the physical memory (at least 256 MiB).
    static MemoryBudget Automatic();
    // `megabytes` when it is positive, else Automatic().
    static MemoryBudget FromMegabytes(int64_t megabytes);
    // Thumbnails are many and small: an eighth of the budget, at most 512 MiB.
    MemoryBudget ForThumbnails() const;

    // Throws EPictureTooLarge when `cost` is over the budget.
    void Require(uint64_t cost) const;
};

// What opening a width x height picture of `bitsPerPixel` costs: the picture, the copy made
// while converting it (and later the document's undo picture), and a screen's worth of display.
// Sides that are not positive cost nothing; the product never overflows.
uint64_t OpeningCost(int64_t width, int64_t height, int64_t bitsPerPixel);

// The machine's physical memory in bytes (0 when the system does not say).
uint64_t PhysicalMemory();

} // namespace vtl::platform
