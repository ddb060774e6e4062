#include "platform/mapped_block.h"

#include <atomic>
#include <new>
#include <sys/mman.h>
#include <utility>

namespace vtl::platform {

namespace {
    std::atomic<int> g_failNext { 0 };
    std::atomic<int> g_passBeforeFailing { 0 };
    std::atomic<long> g_live { 0 };
}

MappedBlock::MappedBlock(size_t size)
{
    if (g_failNext > 0) {
        // Mappings may be made on several threads at once; each takes its turn exactly once.
        if (g_passBeforeFailing.fetch_sub(1) <= 0 && g_failNext.fetch_sub(1) > 0)
            throw std::bad_alloc();
    }
    // A zero-sized mapping is refused by the kernel; one page stands for it.
    size_t length = size == 0 ? 1 : size;
    void* p = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
    // Large pictures are touched end to end at once; huge pages halve the cost of first touch.
    if (length >= (size_t(2) << 20))
        madvise(p, length, MADV_HUGEPAGE);
    m_data = static_cast<uint8_t*>(p);
    m_size = size;
    ++g_live;
}

MappedBlock::~MappedBlock() { Release(); }

MappedBlock::MappedBlock(MappedBlock&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr))
    , m_size(std::exchange(other.m_size, 0))
{
}

MappedBlock& MappedBlock::operator=(MappedBlock&& other) noexcept
{
    if (this != &other) {
        Release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

void MappedBlock::Release() noexcept
{
    if (m_data) {
        munmap(m_data, m_size == 0 ? 1 : m_size);
        m_data = nullptr;
        m_size = 0;
        --g_live;
    }
}

void MappedBlock::FailNextMappingsForTesting(int count, int after)
{
    g_passBeforeFailing = after;
    g_failNext = count;
}
long MappedBlock::LiveBlocks() { return g_live; }

} // namespace vtl::platform
