#pragma once
// A bounds-checked little-endian reader over a byte buffer held by the caller.
//
// Reads never touch memory outside [data, data + size). Reading past the end yields 0 for every
// missing byte and sets overran(), so a file cut short loads the same way every time: what is
// there is used and the rest reads as zeros.

#include <cstddef>
#include <cstdint>
#include <cstring>

class ByteReader {
  public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}

    size_t position() const { return pos_; }
    size_t remaining() const { return size_ - pos_; }
    bool atEnd() const { return pos_ >= size_; }
    // True once any read asked for bytes beyond the end.
    bool overran() const { return overran_; }

    uint8_t u8() {
        if (pos_ >= size_) {
            overran_ = true;
            return 0;
        }
        return data_[pos_++];
    }
    uint16_t u16() {
        uint16_t lo = u8();
        return uint16_t(lo | (uint16_t(u8()) << 8));
    }
    uint32_t u32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= uint32_t(u8()) << (8 * i);
        return v;
    }

    // Copies up to n bytes into out and returns how many were there; the rest of out is left
    // alone. Sets overran() when fewer than n were available.
    size_t read(uint8_t* out, size_t n) {
        size_t got = n <= remaining() ? n : remaining();
        if (got) std::memcpy(out, data_ + pos_, got);
        pos_ += got;
        if (got < n) overran_ = true;
        return got;
    }
    // Moves past n bytes (fewer when the buffer ends first).
    void skip(size_t n) {
        if (n > remaining()) {
            overran_ = true;
            n = remaining();
        }
        pos_ += n;
    }
    // True when the next bytes equal the n bytes of expected (nothing is consumed).
    bool startsWith(const char* expected, size_t n) const {
        return remaining() >= n && std::memcmp(data_ + pos_, expected, n) == 0;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool overran_ = false;
};
