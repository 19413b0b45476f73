// Scanning of numbers from a byte stream, with the platform's formatted-input
// rules: the same characters are taken and the same values result as with
// scanf's %f and %d conversions in the default locale.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "binary32.hpp"
#include "fast_decimal.hpp"
#include "input_buffer.hpp"

enum class scan_result {
    value,         // a value was scanned
    not_a_number,  // the text here is not a number (some of it may be consumed, as scanf does)
    end_of_input,  // nothing but the end of input (or a failed read) at this place
};

// The full scanners, from the current character on (white space already
// skipped); scan_float and scan_int below try the fast conversion first.
bool skip_white_space_slowly(input_stream& stream);
scan_result scan_float_slowly(input_stream& stream, float& value);
scan_result scan_int_slowly(input_stream& stream, std::int32_t& value);

// A whole token spelling an infinity or a NaN ("inf", "infinity" or "nan" in
// any case, after an optional sign) at c, followed by white space: its value
// and the white space after it, or null. The same value as the full scanner
// gives it, found a word at a time and without a branch on the spelling.
inline const unsigned char* take_spelled_value(const unsigned char* c, float& value) {
    using namespace text_words;
    // Signs come in any mix: no branch on them either.
    const long minus = __builtin_expect_with_probability(static_cast<long>(*c == '-'), 1, 0.5);
    const auto sign = static_cast<std::uint32_t>(minus) << 31;
    c += minus != 0 || *c == '+' ? 1 : 0;
    // Only a letter becomes its lower case by setting bit 5.
    const std::uint64_t word = load_word(c) | every_byte(0x20);
    const std::uint64_t first_three = word & 0xffffff;
    const auto whole = [](bool spelled, unsigned char after) {
        return static_cast<std::uint32_t>(spelled) &
               static_cast<std::uint32_t>(is_white_space(after));
    };
    const std::uint32_t infinity = whole(word == packed_word("infinity"), c[8]);
    const std::uint32_t short_infinity = whole(first_three == packed_word("inf"), c[3]);
    const std::uint32_t nan = whole(first_three == packed_word("nan"), c[3]);
    if ((infinity | short_infinity | nan) == 0) return nullptr;
    static_assert((binary32_quiet_nan ^ binary32_infinity) == 1u << 22);
    value = std::bit_cast<float>(binary32_infinity | nan << 22 | sign);
    return c + 3 + 5 * static_cast<std::ptrdiff_t>(infinity);
}

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

// Scans a binary32 value as scanf's %f does, skipping white space first.
inline scan_result scan_float(input_stream& stream, float& value) {
    if (!skip_white_space(stream)) return scan_result::end_of_input;
    const unsigned char* const after = fast_decimal::take_decimal(stream.next, value);
    if (after == nullptr) return scan_float_slowly(stream, value);
    stream.next = const_cast<unsigned char*>(after);
    return scan_result::value;
}

// Scans a 32-bit integer as scanf's %d does, skipping white space first; a
// value beyond the 32-bit range is saturated.
inline scan_result scan_int(input_stream& stream, std::int32_t& value) {
    if (!skip_white_space(stream)) return scan_result::end_of_input;
    const unsigned char* const after = fast_decimal::take_count(stream.next, value);
    if (after == nullptr) return scan_int_slowly(stream, value);
    stream.next = const_cast<unsigned char*>(after);
    return scan_result::value;
}
