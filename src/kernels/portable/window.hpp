// The portable kernel: the window classified a word of eight bytes at a
// time, with masks that are exact for every byte, on either byte order;
// records of short tokens converted a word at a time (convert_record in
// ../window.hpp), the others token by token.
#pragma once

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
    }
    return masks;
}

}  // namespace portable_kernel
