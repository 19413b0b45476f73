// The fast exact conversion: a whole token of an ordinary decimal (a sign,
// up to 19 digits with a point, an exponent) followed by white space, read a
// word at a time. Anything else is left, with nothing taken, to the full
// scanner (scanner.cpp), which reads the same characters to the same value.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "binary32.hpp"
#include "input_buffer.hpp"

namespace text_words {

// Eight characters as one word, the first in the lowest byte, on either
// byte order: every shift and mask on such a word means the same characters
// everywhere. store_word is its inverse, the only way such a word goes back
// to memory.
inline std::uint64_t load_word(const unsigned char* c) {
    std::uint64_t word = 0;
    std::memcpy(&word, c, sizeof word);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    return word;
}

inline void store_word(unsigned char* c, std::uint64_t word) {
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    std::memcpy(c, &word, sizeof word);
}

inline constexpr std::uint64_t every_byte(std::uint64_t byte) { return byte * 0x0101010101010101u; }

// Up to eight characters packed as load_word packs them.
inline constexpr std::uint64_t packed_word(const char* text) {
    std::uint64_t word = 0;
    for (int i = 0; i < 8 && text[i] != '\0'; ++i)
        word |= std::uint64_t{static_cast<unsigned char>(text[i])} << (8 * i);
    return word;
}

// The high bit of each byte that is not an ASCII digit; exact up to and
// including the first such byte, which is all that is used: only a byte
// that is no digit carries or borrows into the next.
inline std::uint64_t non_digit_bytes(std::uint64_t word) {
    return ((word + every_byte(0x46)) | (word - every_byte(0x30))) & every_byte(0x80);
}

// The number written by eight digit values (0-9), first digit lowest.
inline std::uint32_t eight_digit_value(std::uint64_t digits) {
    digits = digits * 10 + (digits >> 8);
    digits = (((digits & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
              (((digits >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >>
             32;
    return static_cast<std::uint32_t>(digits);
}

// The high bit of each byte that is zero; exact for every byte.
inline std::uint64_t zero_bytes(std::uint64_t word) {
    const std::uint64_t low_bits = every_byte(0x7f);
    return ~(((word & low_bits) + low_bits) | word) & every_byte(0x80);
}

// The high bit of each byte that is white space: below 0x80, a space, or at
// least 9 and below 14. Exact for every byte.
inline std::uint64_t white_space_bytes(std::uint64_t word) {
    const std::uint64_t low = word & every_byte(0x7f);
    const std::uint64_t from_tab = low + every_byte(0x80 - '\t');
    const std::uint64_t after_return = low + every_byte(0x80 - '\r' - 1);
    return (zero_bytes(word ^ every_byte(' ')) | (from_tab & ~after_return)) & ~word &
           every_byte(0x80);
}

// How many bytes have their high bit set in a word of high bits: a sum by
// multiplication, for processors without a population count.
inline unsigned high_bit_count(std::uint64_t high_bits) {
    return static_cast<unsigned>(((high_bits >> 7) * every_byte(1)) >> 56);
}

// The first byte from c on that is no white space, counting the line feeds
// passed: most often one byte; else a word at a time while all eight are
// white space, then byte by byte. The zero byte at the buffer's end stops it.
inline const unsigned char* after_white_space(const unsigned char* c, std::int64_t& lines) {
    if (is_white_space(c[0]) && !is_white_space(c[1])) {
        lines += c[0] == '\n' ? 1 : 0;
        return c + 1;
    }
    for (std::uint64_t word = 0; white_space_bytes(word = load_word(c)) == every_byte(0x80); c += 8)
        lines += high_bit_count(zero_bytes(word ^ every_byte('\n')));
    for (; is_white_space(*c); ++c) lines += *c == '\n' ? 1 : 0;
    return c;
}

}  // namespace text_words

namespace fast_decimal {

// Digits beyond these are left to the full scanner.
inline constexpr unsigned longest_mantissa = 19;
inline constexpr long longest_exponent = 4;
inline constexpr long longest_count = 9;  // a year count below 10^9 fits 32 bits

inline bool is_digit(unsigned char c) { return static_cast<unsigned>(c - '0') < 10; }

// Takes a sign at c, if there is one; true for a minus.
[[gnu::always_inline]] inline bool take_sign(const unsigned char*& c) {
    const bool negative = *c == '-';
    c += *c == '-' || *c == '+' ? 1 : 0;
    return negative;
}

// Takes the run of digits at c, eight at a time, into `digits` (which may
// wrap when the run is longer than 19, and is then not used); returns its
// length. The zero byte at the buffer's end stops it.
[[gnu::always_inline]] inline unsigned take_digit_run(const unsigned char*& c,
                                                      std::uint64_t& digits) {
    using namespace text_words;
    const unsigned char* const start = c;
    for (;;) {
        const std::uint64_t word = load_word(c);
        const std::uint64_t stops = non_digit_bytes(word);
        const unsigned length = stops == 0 ? 8 : static_cast<unsigned>(std::countr_zero(stops)) / 8;
        if (length == 0) break;
        const auto scale =
            static_cast<std::uint64_t>(static_cast<std::int64_t>(powers_of_ten[length]));
        digits = digits * scale + eight_digit_value((word - every_byte('0')) << (64 - 8 * length));
        c += length;
        if (length < 8 || c - start > static_cast<std::ptrdiff_t>(longest_mantissa)) break;
    }
    return static_cast<unsigned>(c - start);
}

// The decimal token at c: its value and the white space after it, or null.
[[gnu::always_inline]] inline const unsigned char* take_decimal(const unsigned char* c,
                                                                float& value) {
    using namespace text_words;
    const bool negative = take_sign(c);
    std::uint64_t digits = 0;
    unsigned digit_count = 0;
    unsigned fraction_length = 0;
    digit_count = take_digit_run(c, digits);
    if (*c == '.') {
        ++c;
        fraction_length = take_digit_run(c, digits);
        digit_count += fraction_length;
    }
    if (digit_count == 0 || digit_count > longest_mantissa) return nullptr;
    std::int64_t q = -std::int64_t{fraction_length};
    if ((*c | 0x20) == 'e') {
        ++c;
        const bool negative_exponent = take_sign(c);
        const unsigned char* const exponent_start = c;
        std::int64_t exponent = 0;
        for (; is_digit(*c) && c - exponent_start <= longest_exponent; ++c)
            exponent = exponent * 10 + (*c - '0');
        if (c == exponent_start || c - exponent_start > longest_exponent) return nullptr;
        q += negative_exponent ? -exponent : exponent;
    }
    // Only white space ends the token: the zero byte at the buffer's end
    // does not, so a token cut by it is left to the full scanner.
    if (!is_white_space(*c)) return nullptr;
    value = std::bit_cast<float>(decimal_bits(digits, q, negative));
    return c;
}

// The year count at c: a sign and up to nine digits, followed by white space.
[[gnu::always_inline]] inline const unsigned char* take_count(const unsigned char* c,
                                                              std::int32_t& value) {
    const bool negative = take_sign(c);
    const unsigned char* const start = c;
    std::int32_t magnitude = 0;
    for (; is_digit(*c) && c - start < longest_count; ++c) magnitude = magnitude * 10 + (*c - '0');
    // A tenth digit is no white space.
    if (c == start || !is_white_space(*c)) return nullptr;
    value = negative ? -magnitude : magnitude;
    return c;
}

}  // namespace fast_decimal
