#pragma once
// Builds song and instrument files byte by byte for the file tests.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

struct FileBytes {
    std::vector<uint8_t> bytes;

    FileBytes& u8(int v) {
        bytes.push_back(uint8_t(v));
        return *this;
    }
    FileBytes& u16(uint32_t v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF); }
    FileBytes& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    FileBytes& text(const std::string& s) {
        bytes.insert(bytes.end(), s.begin(), s.end());
        return *this;
    }
    FileBytes& raw(std::initializer_list<int> values) {
        for (int v : values) u8(v);
        return *this;
    }
    FileBytes& zeros(size_t n) {
        bytes.insert(bytes.end(), n, 0);
        return *this;
    }
    // Name length and name.
    FileBytes& name(const std::string& s) { return u8(int(s.size())).text(s); }
    // Loop point, count and values of one envelope.
    FileBytes& envelope(int loop, std::initializer_list<int> values) {
        u8(loop).u8(int(values.size()));
        for (int v : values) u8(v);
        return *this;
    }
    // Size, and for a non-empty sample the loop byte and the data.
    FileBytes& sample(const std::vector<uint8_t>& data, bool loop) {
        u32(uint32_t(data.size()));
        if (data.empty()) return *this;
        u8(loop ? 1 : 0);
        bytes.insert(bytes.end(), data.begin(), data.end());
        return *this;
    }
    FileBytes& songHeader(int version, int instruments, int orders, int patterns) {
        return text("ZephyrcantorTune").u8(version).u8(instruments).u8(orders).u8(patterns);
    }
    FileBytes& instrumentHeader(int version) { return text("ZephyrcantorInst").u8(version); }

    const uint8_t* data() const { return bytes.data(); }
    size_t size() const { return bytes.size(); }
};
