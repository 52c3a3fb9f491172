#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace kelvora {

/// A block of bytes handed between threads: a received chunk or a block to send. It holds its length
/// plus one zero byte after the last, and frees itself on every path.
class Block {
public:
    Block() = default;
    /// A zeroed block holding a copy of length bytes of data; throws std::bad_alloc when memory runs out.
    Block(const void* data, std::size_t length);
    ~Block();
    Block(Block&& other) noexcept;
    Block& operator=(Block&& other) noexcept;
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    const std::uint8_t* data() const { return m_data.get(); }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_data == nullptr; }

    /// The number of blocks alive in the process, for leak checks.
    static long liveCount();

private:
    std::unique_ptr<std::uint8_t[]> m_data;
    std::size_t m_size = 0;
};

} // namespace kelvora
