// The text of a number is taken exactly as the platform's formatted input
// takes it: one character of look-ahead, which is given back when it cannot
// continue the number, and greedy acceptance of a sign, point, exponent
// letter or exponent sign that may turn out not to be followed by digits.
// The characters taken are then valued as strtof values them: the longest
// prefix that forms a number. A mismatch inside "nan" or "infinity" loses
// the mismatching character, as it does there.
#include "scanner.hpp"

#include <array>
#include <bit>
#include <cerrno>

#include "binary32.hpp"

namespace {

constexpr int end_of_input = -1;

bool refill(input_stream& stream) {
    if (stream.at_end) return false;
    // The buffer's bytes are gone after this: where its last line starts is kept.
    for (const unsigned char* c = stream.end; c > stream.buffer; --c) {
        if (c[-1] == '\n') {
            stream.line_start = stream.consumed_before_buffer + (c - stream.buffer);
            break;
        }
    }
    stream.consumed_before_buffer += stream.end - stream.buffer;
    stream.next = stream.end = stream.buffer;
    *stream.end = 0;
    for (;;) {
        const long got =
            stream.source.fill(stream.source.context, stream.buffer, input_buffer_size);
        if (got > 0) {
            stream.end = stream.buffer + got;
            *stream.end = 0;
            return true;
        }
        if (got == -EINTR) continue;
        stream.at_end = true;
        if (got < 0) stream.read_error = static_cast<int>(-got);
        return false;
    }
}

inline int peek(input_stream& stream) {
    if (stream.next == stream.end && !refill(stream)) return end_of_input;
    return *stream.next;
}

inline void take(input_stream& stream) { ++stream.next; }

constexpr bool is_digit(int c) { return c >= '0' && c <= '9'; }
// For letters only: c | 0x20 equals a lower-case letter exactly when c is
// that letter in either case.
constexpr int lower_letter(int c) { return c | 0x20; }

// The rest of a word ("nf" of "inf"), its letters also packed as load_word
// packs characters.
struct word_rest {
    const char* text;
    std::uint64_t letters;
    int length;
};

constexpr word_rest rest_of(const char* text) {
    word_rest rest{text, text_words::packed_word(text), 0};
    while (text[rest.length] != '\0') ++rest.length;
    return rest;
}

constexpr word_rest rest_of_nan = rest_of("an");
constexpr word_rest rest_of_inf = rest_of("nf");
constexpr word_rest rest_of_infinity = rest_of("nity");

// Takes the characters of `rest`, in either case: all at once where the
// buffer holds them (the zero byte at its end matches no letter), else one
// by one, and then a mismatching character is taken too.
inline bool take_word(input_stream& stream, const word_rest& rest) {
    const std::uint64_t held = text_words::load_word(stream.next) | text_words::every_byte(0x20);
    if (((held ^ rest.letters) & ((std::uint64_t{1} << (8 * rest.length)) - 1)) == 0) {
        stream.next += rest.length;
        return true;
    }
    for (const char* letter = rest.text; *letter != '\0'; ++letter) {
        const int c = peek(stream);
        if (c == end_of_input) return false;
        take(stream);
        if (lower_letter(c) != *letter) return false;
    }
    return true;
}

// The exponent's digits: a value this large already makes any number of
// realistic length zero or infinite, so it saturates here.
constexpr std::int64_t exponent_limit = 100'000'000'000'000'000;

struct exponent_text {
    bool started;   // the exponent letter was taken
    bool signable;  // the last character taken was the exponent letter
    bool negative;
    bool has_digits;
    std::int64_t magnitude;
};

// The exponent's digits held in the buffer; the scanner's loop comes back for
// the rest of a run after a refill, as for the other runs below.
void take_exponent_run(input_stream& stream, exponent_text& exponent) {
    for (; is_digit(*stream.next); ++stream.next) {
        exponent.has_digits = true;
        exponent.signable = false;
        if (exponent.magnitude < exponent_limit)
            exponent.magnitude = exponent.magnitude * 10 + (*stream.next - '0');
    }
}

std::int64_t exponent_value(const exponent_text& exponent) {
    if (!exponent.has_digits) return 0;  // "1e+" is valued as "1"
    return exponent.negative ? -exponent.magnitude : exponent.magnitude;
}

// Handles the exponent letter, its sign and the point, which both forms
// treat alike; false when c cannot continue the number.
bool take_punctuation(int c, int exponent_letter, bool got_digit, bool& got_dot,
                      exponent_text& exponent) {
    if (exponent.signable && (c == '+' || c == '-')) {
        exponent.negative = c == '-';
        exponent.signable = false;
    } else if (got_digit && !exponent.started && lower_letter(c) == exponent_letter) {
        exponent.started = exponent.signable = got_dot = true;
    } else if (!got_dot && c == '.') {
        got_dot = true;
    } else {
        return false;
    }
    return true;
}

void take_mantissa_run(input_stream& stream, decimal_digits& number, bool got_dot) {
    using namespace text_words;
    const unsigned char* c = stream.next;
    if (number.count == 0) {
        // Leading zeros are no significant digits.
        const unsigned char* const zeros = c;
        while (load_word(c) == every_byte('0')) c += 8;
        while (*c == '0') ++c;
        if (got_dot) number.scale -= c - zeros;
    }
    // Eight digits at a time while they fit, then one by one.
    const unsigned char* const kept = c;
    for (std::uint64_t word = 0;
         number.count + 8 <= kept_decimal_digits && non_digit_bytes(word = load_word(c)) == 0;
         c += 8, number.count += 8)
        store_word(number.digit + number.count, word - every_byte('0'));
    for (; number.count < kept_decimal_digits && is_digit(*c); ++c)
        number.digit[number.count++] = static_cast<std::uint8_t>(*c - '0');
    if (got_dot) number.scale -= c - kept;
    // Digits past the kept ones only tell whether any of them is nonzero.
    const unsigned char* const dropped = c;
    for (std::uint64_t word = 0; non_digit_bytes(word = load_word(c)) == 0; c += 8)
        number.nonzero_dropped = number.nonzero_dropped || word != every_byte('0');
    for (; is_digit(*c); ++c) number.nonzero_dropped = number.nonzero_dropped || *c != '0';
    if (!got_dot) number.scale += c - dropped;
    stream.next = const_cast<unsigned char*>(c);
}

// The value of each hexadecimal digit character; 16 for any other byte.
constexpr std::uint8_t not_hex = 16;
constexpr std::array<std::uint8_t, 256> hex_digit_values = [] {
    std::array<std::uint8_t, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[static_cast<std::size_t>(c)] =
            is_digit(c) ? static_cast<std::uint8_t>(c - '0')
            : lower_letter(c) >= 'a' && lower_letter(c) <= 'f'
                ? static_cast<std::uint8_t>(lower_letter(c) - 'a' + 10)
                : not_hex;
    return table;
}();

void take_hex_run(input_stream& stream, hex_digits& number, bool got_dot) {
    const unsigned char* c = stream.next;
    std::uint64_t mantissa = number.mantissa;
    if (mantissa == 0) {
        const unsigned char* const zeros = c;
        while (*c == '0') ++c;  // leading zeros are no significant digits
        if (got_dot) number.scale -= 4 * (c - zeros);
    }
    const unsigned char* const kept = c;
    for (unsigned digit = 0;
         mantissa < (std::uint64_t{1} << 60) && (digit = hex_digit_values[*c]) != not_hex; ++c)
        mantissa = mantissa * 16 + digit;
    if (got_dot) number.scale -= 4 * (c - kept);
    const unsigned char* const dropped = c;
    unsigned dropped_digits = 0;  // or-ed together
    for (unsigned digit = 0; (digit = hex_digit_values[*c]) != not_hex; ++c)
        dropped_digits |= digit;
    if (!got_dot) number.scale += 4 * (c - dropped);
    number.mantissa = mantissa;
    number.nonzero_dropped = number.nonzero_dropped || dropped_digits != 0;
    stream.next = const_cast<unsigned char*>(c);
}

// After "0x" (and a sign). The "0" before the x counts as no digit here.
// Not inlined, as scan_decimal_number: scan_float_slowly stays small for
// infinities and NaNs.
[[gnu::noinline]] scan_result scan_hex_number(input_stream& stream, bool negative, float& value) {
    hex_digits number{0, false, 0, 0};
    exponent_text exponent{};
    bool got_digit = false;
    bool got_dot = false;
    bool took_any = false;
    for (int c = peek(stream);; c = peek(stream), took_any = true) {
        if (exponent.started && is_digit(c)) {
            take_exponent_run(stream, exponent);
        } else if (!exponent.started && c >= 0 &&
                   hex_digit_values[static_cast<unsigned>(c)] != not_hex) {
            got_digit = true;
            take_hex_run(stream, number, got_dot);
        } else if (take_punctuation(c, 'p', got_digit, got_dot, exponent)) {
            take(stream);
        } else {
            break;
        }
    }
    if (!took_any) return scan_result::not_a_number;  // "0x" alone
    number.exponent = exponent_value(exponent);
    value = std::bit_cast<float>(hex_to_binary32(number, negative));
    return scan_result::value;
}

[[gnu::noinline]] scan_result scan_decimal_number(input_stream& stream, bool negative,
                                                  bool got_digit, float& value) {
    decimal_digits number;  // digit[] is filled as far as count says
    number.count = 0;
    number.nonzero_dropped = false;
    number.scale = number.exponent = 0;
    exponent_text exponent{};
    bool got_dot = false;
    for (int c = peek(stream);; c = peek(stream)) {
        if (is_digit(c) && exponent.started) {
            take_exponent_run(stream, exponent);
        } else if (is_digit(c)) {
            got_digit = true;
            take_mantissa_run(stream, number, got_dot);
        } else if (take_punctuation(c, 'e', got_digit, got_dot, exponent)) {
            take(stream);
        } else {
            break;
        }
    }
    if (!got_digit) return scan_result::not_a_number;  // a sign or a point alone
    number.exponent = exponent_value(exponent);
    value = std::bit_cast<float>(decimal_to_binary32(number, negative));
    return scan_result::value;
}

// An optional sign at the cursor; true for a minus.
bool take_sign(input_stream& stream) {
    const int c = peek(stream);
    if (c != '-' && c != '+') return false;
    take(stream);
    return c == '-';
}

}  // namespace

void open_input(input_stream& stream, input_source source) {
    stream.source = source;
    stream.buffer = stream.storage + input_buffer_room_before;
    for (unsigned char* room = stream.storage; room < stream.buffer; ++room) *room = ' ';
    stream.next = stream.end = stream.buffer;
    *stream.end = 0;
    stream.consumed_before_buffer = 0;
    stream.line = 1;
    stream.line_start = 0;
    stream.at_end = false;
    stream.read_error = 0;
}

std::int64_t consumed_count(const input_stream& stream) {
    return stream.consumed_before_buffer + (stream.next - stream.buffer);
}

std::int64_t column_at(const input_stream& stream, std::int64_t offset) {
    if (offset > stream.consumed_before_buffer) {
        const unsigned char* const place = stream.buffer + (offset - stream.consumed_before_buffer);
        for (const unsigned char* c = place; c > stream.buffer; --c)
            if (c[-1] == '\n') return place - c + 1;
    }
    return offset - stream.line_start + 1;
}

bool skip_white_space_slowly(input_stream& stream) {
    for (;;) {
        stream.next =
            const_cast<unsigned char*>(text_words::after_white_space(stream.next, stream.line));
        if (stream.next < stream.end) return true;
        if (!refill(stream)) return false;
    }
}

scan_result scan_float_slowly(input_stream& stream, float& value) {
    // After a sign that ends the input, the decimal scan finds no digit.
    const bool negative = take_sign(stream);
    int c = peek(stream);
    const std::uint32_t sign = negative ? binary32_sign_bit : 0;
    if (lower_letter(c) == 'n') {
        take(stream);
        if (!take_word(stream, rest_of_nan)) return scan_result::not_a_number;
        value = std::bit_cast<float>(binary32_quiet_nan | sign);
        return scan_result::value;
    }
    if (lower_letter(c) == 'i') {
        take(stream);
        if (!take_word(stream, rest_of_inf)) return scan_result::not_a_number;
        if ((c = peek(stream)) != end_of_input && lower_letter(c) == 'i') {
            take(stream);
            if (!take_word(stream, rest_of_infinity)) return scan_result::not_a_number;
        }
        value = std::bit_cast<float>(binary32_infinity | sign);
        return scan_result::value;
    }
    if (c != '0') return scan_decimal_number(stream, negative, false, value);
    take(stream);
    c = peek(stream);
    if (c == end_of_input || lower_letter(c) != 'x')
        return scan_decimal_number(stream, negative, true, value);
    take(stream);
    return scan_hex_number(stream, negative, value);
}

scan_result scan_int_slowly(input_stream& stream, std::int32_t& value) {
    const bool negative = take_sign(stream);
    constexpr std::int64_t beyond_range = std::int64_t{1} << 31;
    bool got_digit = false;
    std::int64_t magnitude = 0;
    for (int c = peek(stream); is_digit(c); c = peek(stream), got_digit = true) {
        if (magnitude <= beyond_range) magnitude = magnitude * 10 + (c - '0');
        take(stream);
    }
    if (!got_digit) return scan_result::not_a_number;
    std::int64_t signed_value = negative ? -magnitude : magnitude;
    if (signed_value > beyond_range - 1) signed_value = beyond_range - 1;
    if (signed_value < -beyond_range) signed_value = -beyond_range;
    value = static_cast<std::int32_t>(signed_value);
    return scan_result::value;
}
