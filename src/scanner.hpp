// Scanning of numbers from a byte stream, with the platform's formatted-input
// rules: the same characters are taken and the same values result as with
// scanf's %f and %d conversions in the default locale.
#pragma once

#include <cstdint>

// Where the bytes come from: fills `room` bytes at most and returns how many
// it gave, 0 at the end of input, or -errno on failure.
struct input_source {
    long (*fill)(void* context, unsigned char* into, unsigned long room);
    void* context;
};

inline constexpr unsigned long input_buffer_size = 64 * 1024;

// One fixed buffer over the source. Bytes are requested from the source only
// when a character is needed that the buffer does not hold.
struct input_stream {
    input_source source;
    unsigned char* next;         // first byte not yet consumed
    unsigned char* end;          // end of the bytes held
    std::int64_t consumed_before_buffer;
    std::int64_t line;           // 1-based line of `next`
    bool at_end;                 // the source has ended or failed: it is never asked again
    int read_error;              // errno of the failed fill, or 0
    unsigned char buffer[input_buffer_size];
};

void open_input(input_stream& stream, input_source source);

// Bytes consumed since the stream was opened.
std::int64_t consumed_count(const input_stream& stream);

// Bytes held in the buffer but not consumed.
inline long unconsumed_count(const input_stream& stream) { return stream.end - stream.next; }

enum class scan_result {
    value,         // a value was scanned
    not_a_number,  // the text here is not a number (some of it may be consumed, as scanf does)
    end_of_input,  // nothing but the end of input (or a failed read) at this place
};

// Skips white space; false when the input ends (or fails) first.
bool skip_white_space(input_stream& stream);

// Each skips white space first, as the conversions do.
scan_result scan_float(input_stream& stream, float& value);
// A value beyond the 32-bit range is saturated.
scan_result scan_int(input_stream& stream, std::int32_t& value);
