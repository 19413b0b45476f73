// The portable kernel: the window classified a word of eight bytes at a
// time, with masks that are exact for every byte, on either byte order. It
// stops after four words when the record's tokens already end there.
#pragma once

#include <bit>
#include <cstdint>

#include "../window.hpp"

namespace portable_kernel {

using text_words::every_byte;

// The high bit of each byte that is zero.
inline std::uint64_t zero_bytes(std::uint64_t word) {
    const std::uint64_t low_bits = every_byte(0x7f);
    return ~(((word & low_bits) + low_bits) | word) & every_byte(0x80);
}

// The high bits of the eight bytes gathered, byte i's into bit i.
inline std::uint64_t gathered(std::uint64_t high_bits) {
    return (high_bits * 0x02040810204081u) >> 56;
}

inline std::uint64_t white_space_bytes(std::uint64_t word) {
    // Below 0x80: a space, or at least 9 and below 14.
    const std::uint64_t low = word & every_byte(0x7f);
    const std::uint64_t from_tab = low + every_byte(0x80 - '\t');
    const std::uint64_t after_return = low + every_byte(0x80 - '\r' - 1);
    return (zero_bytes(word ^ every_byte(' ')) | (from_tab & ~after_return)) & ~word &
           every_byte(0x80);
}

// The portable and SSE2 kernels need no constants, and convert the tokens
// one by one.
struct constants {};

inline bool convert_record(const unsigned char* c, const record_window::window_masks& masks,
                           const record_window::record_stops& record, record_table& table,
                           std::int32_t row, constants /*k*/) {
    return record_window::convert_each_token(c, masks, record, table, row);
}

inline record_window::window_masks classify_window(const unsigned char* c, constants /*k*/) {
    record_window::window_masks masks{0, 0};
    for (int k = 0; k < 8; ++k) {
        const std::uint64_t word = text_words::load_word(c + 8 * k);
        masks.white_space |= gathered(white_space_bytes(word)) << (8 * k);
        masks.line_feeds |= gathered(zero_bytes(word ^ every_byte('\n'))) << (8 * k);
        if (k == 3 && std::popcount(masks.white_space & ~(masks.white_space << 1)) > 4) break;
    }
    return masks;
}

}  // namespace portable_kernel
