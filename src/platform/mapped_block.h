#pragma once
// A zero-filled block of anonymous mapped memory, released when its owner goes away.
// Image pixel blocks live in such blocks so that large pictures do not fragment the heap.

#include <cstddef>
#include <cstdint>
#include <span>

namespace vtl::platform {

class MappedBlock {
public:
    MappedBlock() = default;
    // Throws std::bad_alloc when the system refuses the mapping.
    explicit MappedBlock(size_t size);
    ~MappedBlock();
    MappedBlock(MappedBlock&& other) noexcept;
    MappedBlock& operator=(MappedBlock&& other) noexcept;
    MappedBlock(const MappedBlock&) = delete;
    MappedBlock& operator=(const MappedBlock&) = delete;

    uint8_t* Data() { return m_data; }
    const uint8_t* Data() const { return m_data; }
    size_t Size() const { return m_size; }
    std::span<uint8_t> Bytes() { return { m_data, m_size }; }
    std::span<const uint8_t> Bytes() const { return { m_data, m_size }; }
    explicit operator bool() const { return m_data != nullptr; }

    // Tests: make the next `count` mappings fail as if the system were out of memory, after
    // letting `after` more succeed first.
    static void FailNextMappingsForTesting(int count, int after = 0);
    // Number of blocks alive now; tests use it to see that a failed operation freed what it made.
    static long LiveBlocks();

private:
    void Release() noexcept;

    uint8_t* m_data = nullptr;
    size_t m_size = 0;
};

} // namespace vtl::platform
