// The portable kernel: the window classified a word of eight bytes at a
// time, with masks that are exact for every byte, on either byte order; the
// records are taken token by token. It stops after four words when the
// record's tokens already end there.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "../window.hpp"

namespace portable_kernel {

// The portable kernel keeps no constants.
struct constants {};

// The high bits of the eight bytes gathered, byte i's into bit i.
inline std::uint64_t gathered(std::uint64_t high_bits) {
    return (high_bits * 0x02040810204081u) >> 56;
}

inline record_window::window_masks classify_window(const unsigned char* c, constants /*k*/) {
    using namespace text_words;
    record_window::window_masks masks{0, 0, 0};
    for (std::ptrdiff_t k = 0; k < 8; ++k) {
        const std::uint64_t word = load_word(c + 8 * k);
        masks.white_space |= gathered(white_space_bytes(word)) << (8 * k);
        masks.line_feeds |= gathered(zero_bytes(word ^ every_byte('\n'))) << (8 * k);
        if (k == 3 && std::popcount(record_window::token_stops(masks)) >= 4) break;
    }
    return masks;
}

}  // namespace portable_kernel
