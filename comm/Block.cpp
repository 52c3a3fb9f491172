#include "comm/Block.h"

#include <atomic>
#include <cstring>

namespace kelvora {

namespace {
std::atomic<long> g_liveBlocks{0};
}

Block::Block(const void* data, std::size_t length) : m_data(new std::uint8_t[length + 1]()), m_size(length) {
    std::memcpy(m_data.get(), data, length);
    m_data[length] = 0;
    ++g_liveBlocks;
}

Block::~Block() {
    if (m_data) {
        --g_liveBlocks;
    }
}

Block::Block(Block&& other) noexcept : m_data(std::move(other.m_data)), m_size(other.m_size) {
    other.m_size = 0;
}

Block& Block::operator=(Block&& other) noexcept {
    if (this != &other) {
        if (m_data) {
            --g_liveBlocks;
        }
        m_data = std::move(other.m_data);
        m_size = other.m_size;
        other.m_size = 0;
    }
    return *this;
}

long Block::liveCount() {
    return g_liveBlocks.load();
}

} // namespace kelvora
