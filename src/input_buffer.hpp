// The one input buffer and its rules, on which every reader relies:
//
// - Bytes held: buffer[0] ... end[-1]; `next` is the first not consumed.
//   Bytes are asked of the source only when a character is needed that the
//   buffer does not hold. A refill (scanner.cpp) starts over at the buffer's
//   start and moves nothing: what lay before `next` is gone, so a token cut
//   by the buffer's end is read by the full scanners, which keep what they
//   took of it, and the fast paths never see it whole.
// - The zero byte: *end is 0, neither white space nor part of any number, so
//   every loop over digits, letters or white space stops at the end of the
//   bytes held without a bounds check per character.
// - After the cursor: words and 64-byte windows may be loaded from any place
//   up to `end`, reaching into the slack after it; what lies there is zero or
//   stale and decides nothing, since every fast path needs its token and the
//   white space after it before `end`.
// - Before the cursor: a kernel may load the 16 bytes that end at a
//   token's stop, reaching back before its window or the token. The room
//   before the buffer makes that safe at its start, and holds spaces, so
//   that a token at the start of the buffer follows white space as a token
//   after a refill does.
// - Lines: `line` is the line of `next`. The full scanner counts the line
//   feeds it passes; a kernel counts them from its window's mask. Columns
//   are found only for a message: back from a place to the line feed before
//   it, or to the buffer's start and then `line_start`, which a refill keeps.
// - Once the list is read the buffer is free: the answers are written into
//   it (answer_capacity in main.cpp).
#pragma once

#include <cstdint>

// Where the bytes come from: fills `room` bytes at most and returns how many
// it gave, 0 at the end of input, or -errno on failure.
struct input_source {
    long (*fill)(void* context, unsigned char* into, unsigned long room);
    void* context;
};

inline constexpr unsigned long input_buffer_size = 64UL * 1024;

// Room after the bytes held for the zero byte and for loads of whole words
// and 64-byte windows that start before the end, and room before them for
// loads that end with a token.
inline constexpr unsigned long input_buffer_slack = 64;
inline constexpr unsigned long input_buffer_room_before = 32;

struct input_stream {
    input_source source;
    unsigned char* buffer;  // storage + input_buffer_room_before
    unsigned char* next;    // first byte not yet consumed
    unsigned char* end;     // end of the bytes held; *end is 0
    std::int64_t consumed_before_buffer;
    std::int64_t line;        // 1-based line of `next`
    std::int64_t line_start;  // bytes consumed before the line that the buffer's start is on
    bool at_end;              // the source has ended or failed: it is never asked again
    int read_error;           // errno of the failed fill, or 0
    unsigned char storage[input_buffer_room_before + input_buffer_size + input_buffer_slack];
};

void open_input(input_stream& stream, input_source source);

// Bytes consumed since the stream was opened.
std::int64_t consumed_count(const input_stream& stream);

// The 1-based column, in bytes, of the byte at `offset` (a consumed_count)
// that is held in the buffer or lies on the line of the buffer's start.
std::int64_t column_at(const input_stream& stream, std::int64_t offset);

// Bytes held in the buffer but not consumed.
inline long unconsumed_count(const input_stream& stream) { return stream.end - stream.next; }

inline constexpr bool is_white_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
