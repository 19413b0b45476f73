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
// skipped).
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

// Scans a binary32 value as scanf's %f does, skipping white space first.
inline scan_result scan_float(input_stream& stream, float& value) {
    if (!skip_white_space(stream)) return scan_result::end_of_input;
    return scan_float_slowly(stream, value);
}

// Scans a 32-bit integer as scanf's %d does, skipping white space first; a
// value beyond the 32-bit range is saturated.
inline scan_result scan_int(input_stream& stream, std::int32_t& value) {
    if (!skip_white_space(stream)) return scan_result::end_of_input;
    return scan_int_slowly(stream, value);
}
