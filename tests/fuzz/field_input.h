// The fuzz targets' reading of their input: bytes in order, and past the
// input's end zeros, so that every input, however short, is a whole case.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

struct FieldInput {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;

    bool done() const {
        return at >= size;
    }
    std::uint8_t byte() {
        return at < size ? data[at++] : 0;
    }
    std::uint16_t word() {
        const std::uint8_t low = byte();
        return static_cast<std::uint16_t>(low | (byte() << 8));
    }
    // A length byte, then that many bytes (fewer where the input ends).
    std::string field() {
        const std::size_t length = std::min<std::size_t>(byte(), size - at);
        at += length;
        return std::string(reinterpret_cast<const char*>(data + at - length), length);
    }
};

// A broken invariant is a finding: abort, so that libFuzzer keeps the input.
inline void require(bool holds) {
    if (!holds) {
        std::abort();
    }
}
