// Scanning of numbers from a byte stream, with the platform's formatted-input
// rules: the same characters are taken and the same values result as with
// scanf's %f and %d conversions in the default locale.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "binary32.hpp"
#include "input_buffer.hpp"

enum class scan_result {
    value,         // a value was scanned
    not_a_number,  // the text here is not a number (some of it may be consumed, as scanf does)
    end_of_input,  // nothing but the end of input (or a failed read) at this place
};

// The full scanners, from the current character on (white space already
// skipped); the inline ones below take the common cases first.
bool skip_white_space_slowly(input_stream& stream);
scan_result scan_float_slowly(input_stream& stream, float& value);
scan_result scan_int_slowly(input_stream& stream, std::int32_t& value);

// Skips white space; false when the input ends (or fails) first. Values are
// usually apart by one space, which is taken here.
inline bool skip_white_space(input_stream& stream) {
    unsigned char* c = stream.next;  // *end is a zero byte: reading it is safe
    if (*c == ' ') ++c;
    if (c < stream.end && !is_white_space(*c)) {
        stream.next = c;
        return true;
    }
    return skip_white_space_slowly(stream);
}

namespace short_numbers {

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

// The high bit of each byte that is not an ASCII digit; exact up to and
// including the first such byte, which is all that is used.
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

inline constexpr float exact_powers_of_ten[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f};

// Characters that would continue a decimal number after its digits and
// point: more digits, an exponent letter, or the x of "0x".
inline constexpr std::array<bool, 256> continues_decimal = [] {
    std::array<bool, 256> table{};
    for (int c = '0'; c <= '9'; ++c) table[static_cast<std::size_t>(c)] = true;
    for (const char c : {'e', 'E', 'x', 'X'}) table[static_cast<unsigned char>(c)] = true;
    return table;
}();

inline constexpr std::array<bool, 256> white_space = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c) table[static_cast<std::size_t>(c)] = is_white_space(c);
    return table;
}();

// A short unsigned decimal: up to eight characters of digits with at most
// one point, read as one word. The character after it is not examined.
struct word_decimal {
    std::uint32_t digits;      // the digits without the point: at most seven
    unsigned fraction_length;  // digits after the point
    const unsigned char* after;
};

[[gnu::always_inline]] inline bool take_word_decimal(const unsigned char* c, word_decimal& number) {
    std::uint64_t word = load_word(c);
    const std::uint64_t stops = non_digit_bytes(word);
    if (stops == 0) return false;  // eight digits or more
    const auto stop_bits = static_cast<unsigned>(std::countr_zero(stops)) - 7;  // 8 x position
    if (((word >> stop_bits) & 0xff) == '.') {
        // With the point read as a '0' the digits run on to the next stop.
        word += std::uint64_t{2} << stop_bits;
        const std::uint64_t more_stops = non_digit_bytes(word);
        const unsigned length_bits =
            more_stops == 0 ? 64 : static_cast<unsigned>(std::countr_zero(more_stops)) - 7;
        if (length_bits == 8) return false;  // a point alone
        // The integer digits move up over the point, leaving a leading zero.
        const std::uint64_t values = word - every_byte('0');
        const std::uint64_t through_point = (((std::uint64_t{1} << stop_bits) - 1) << 8) | 0xff;
        const std::uint64_t digits = values ^ ((values ^ (values << 8)) & through_point);
        number.digits = eight_digit_value(digits << (64 - length_bits));
        number.fraction_length = (length_bits - stop_bits) / 8 - 1;
        number.after = c + length_bits / 8;
        return true;
    }
    if (stop_bits == 0) return false;
    number.digits = eight_digit_value((word - every_byte('0')) << (64 - stop_bits));
    number.fraction_length = 0;
    number.after = c + stop_bits / 8;
    return true;
}

// "inf", "infinity" or "nan" in any case, compared a word at a time: only a
// letter's two cases give that letter when 0x20 is set. "inf" followed by
// an i that does not go on to "infinity" is left to the full scanner.
inline constexpr std::uint64_t letters(const char (&text)[9]) {
    std::uint64_t word = 0;
    for (int i = 7; i >= 0; --i) word = (word << 8) | static_cast<unsigned char>(text[i]);
    return word;
}

[[gnu::always_inline]] inline bool take_word_special(const unsigned char* c, std::uint32_t& bits,
                                                     const unsigned char*& after) {
    const std::uint64_t word = load_word(c) | every_byte(0x20);
    if (word == letters("infinity")) {
        bits = binary32_infinity;
        after = c + 8;
        return true;
    }
    const std::uint64_t three = word & 0xffffff;
    if (three == (letters("inf\0\0\0\0\0") & 0xffffff) && ((word >> 24) & 0xff) != 'i') {
        bits = binary32_infinity;
        after = c + 3;
        return true;
    }
    if (three == (letters("nan\0\0\0\0\0") & 0xffffff)) {
        bits = binary32_quiet_nan;
        after = c + 3;
        return true;
    }
    return false;
}

// At most seven digits: below 2^24, so one division by an exact power of
// ten rounds correctly (also in the x87 format, see binary32.cpp).
inline float word_decimal_value(const word_decimal& number) {
    return static_cast<float>(static_cast<std::int32_t>(number.digits)) /
           exact_powers_of_ten[number.fraction_length];
}

// Up to 19 digits with at most one point, a digit at a time.
inline bool take_digit_decimal(const unsigned char*& cursor, const unsigned char* end,
                               bool negative, float& value) {
    // A longer number stops at its 20th digit (or at the end of the buffer,
    // whose zero byte stops the loops) and is left to the full scanner.
    const unsigned char* c = cursor;
    const unsigned char* const digit_limit = c + 20;
    std::uint64_t digits = 0;
    unsigned digit = 0;
    for (; c < digit_limit && (digit = *c - unsigned{'0'}) < 10; ++c) digits = digits * 10 + digit;
    std::int64_t digit_count = c - cursor;
    std::int64_t fraction_length = 0;
    if (*c == '.') {
        const unsigned char* const fraction_start = ++c;
        for (; c <= digit_limit && (digit = *c - unsigned{'0'}) < 10; ++c)
            digits = digits * 10 + digit;
        fraction_length = c - fraction_start;
        digit_count += fraction_length;
    }
    if (digit_count == 0 || digit_count > 19 || c >= end || continues_decimal[*c]) return false;
    value = std::bit_cast<float>(exact_decimal_to_binary32(digits, -fraction_length, negative));
    cursor = c;
    return true;
}

}  // namespace short_numbers

// The common cases, taken from a cursor into the buffer without a bounds
// check per character (the zero byte at the end stops every loop): a short
// decimal, or a year count of up to nine digits, followed inside the buffer
// by a character that cannot continue it. They take nothing and return
// false for anything else, which the full scanners then take from the same
// place.
[[gnu::always_inline]] inline bool take_short_float(const unsigned char*& cursor,
                                                    const unsigned char* end, float& value) {
    const unsigned char* c = cursor;
    const bool negative = *c == '-';
    if (*c == '-' || *c == '+') ++c;
    short_numbers::word_decimal number{};
    if (short_numbers::take_word_decimal(c, number)) {
        if (number.after >= end || short_numbers::continues_decimal[*number.after]) return false;
        const float magnitude = short_numbers::word_decimal_value(number);
        value = negative ? -magnitude : magnitude;
        cursor = number.after;
        return true;
    }
    if (short_numbers::take_digit_decimal(c, end, negative, value)) {
        cursor = c;
        return true;
    }
    // The character after it must be inside the buffer: "inf" looks at it.
    std::uint32_t bits = 0;
    const unsigned char* after = nullptr;
    if (!short_numbers::take_word_special(c, bits, after) || after >= end) return false;
    value = std::bit_cast<float>(negative ? bits | binary32_sign_bit : bits);
    cursor = after;
    return true;
}

inline bool take_short_int(const unsigned char*& cursor, const unsigned char* end,
                           std::int32_t& value) {
    const unsigned char* c = cursor;
    const bool negative = *c == '-';
    if (*c == '-' || *c == '+') ++c;
    const unsigned char* const digits_start = c;
    std::uint32_t magnitude = 0;  // wraps beyond 9 digits, which are not taken here
    unsigned digit = 0;
    for (; (digit = *c - unsigned{'0'}) < 10; ++c) magnitude = magnitude * 10 + digit;
    const auto digit_count = c - digits_start;
    if (digit_count == 0 || digit_count > 9 || c >= end) return false;
    const auto in_range = static_cast<std::int32_t>(magnitude);
    value = negative ? -in_range : in_range;
    cursor = c;
    return true;
}

// Scans a binary32 value as scanf's %f does, skipping white space first.
inline scan_result scan_float(input_stream& stream, float& value) {
    if (!skip_white_space(stream)) return scan_result::end_of_input;
    const unsigned char* c = stream.next;
    if (!take_short_float(c, stream.end, value)) return scan_float_slowly(stream, value);
    stream.next = const_cast<unsigned char*>(c);
    return scan_result::value;
}

// Scans a 32-bit integer as scanf's %d does, skipping white space first; a
// value beyond the 32-bit range is saturated.
inline scan_result scan_int(input_stream& stream, std::int32_t& value) {
    if (!skip_white_space(stream)) return scan_result::end_of_input;
    const unsigned char* c = stream.next;
    if (!take_short_int(c, stream.end, value)) return scan_int_slowly(stream, value);
    stream.next = const_cast<unsigned char*>(c);
    return scan_result::value;
}
