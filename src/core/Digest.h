// SHA-256, so that a source read whole can be remembered by its digest and
// a file written in pieces checked against what reached the disk, without
// holding either. Portable: no <windows.h>.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace zentrel {

class Sha256 {
public:
    Sha256();
    void Add(const void* data, size_t size);
    void Add(const std::string& text) { Add(text.data(), text.size()); }
    // Adds the size first, so that fields added one after another cannot
    // be shifted into each other.
    void AddField(const void* data, size_t size);
    void AddField(const std::string& text) { AddField(text.data(), text.size()); }
    std::array<uint8_t, 32> Finish();

private:
    void Block(const uint8_t* p);
    uint32_t m_state[8];
    uint8_t m_pending[64];
    size_t m_held = 0;
    uint64_t m_total = 0;
};

}  // namespace zentrel
