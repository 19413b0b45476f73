// The window readers of usual records (SSE2, and AVX2 where the processor
// has it) against the full scanners. A record they take must hold exactly
// what the scanners read from the same bytes, and they must take exactly the
// usual records: four tokens of 1 to 8 digits with at most one point (none
// in the years), none of them zero, apart by single spaces, the last
// followed by white space, all within the 32-byte window and the bytes held.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "escaped.hpp"
#include "kernels/avx2/record_window.hpp"
#include "kernels/sse2/record_window.hpp"
#include "memory_input.hpp"
#include "records.hpp"
#include "scanner.hpp"

namespace {

using window_reader = bool (*)(const unsigned char*&, const unsigned char*, record_table&,
                               std::int32_t, std::int64_t&);

bool take_with_sse2(const unsigned char*& cursor, const unsigned char* end, record_table& table,
                    std::int32_t row, std::int64_t& line) {
    return record_window::take_record_window(cursor, end, table, row, line);
}

#if defined(SCREENING_AVX2)
[[gnu::target("avx2,bmi,bmi2")]] bool take_with_avx2(const unsigned char*& cursor,
                                                     const unsigned char* end, record_table& table,
                                                     std::int32_t row, std::int64_t& line) {
    return record_window::take_record_window_avx2<record_window::window_layout::single_spaces>(
        cursor, end, table, row, line, record_window::make_avx2_constants());
}

template <record_window::window_layout layout>
[[gnu::target("avx2,bmi,bmi2")]] bool take_layout_with_avx2(const unsigned char*& cursor,
                                                            const unsigned char* end,
                                                            record_table& table, std::int32_t row,
                                                            std::int64_t& line) {
    return record_window::take_record_window_avx2<layout>(cursor, end, table, row, line,
                                                          record_window::make_avx2_constants());
}
#endif

struct named_reader {
    const char* name;
    window_reader take;
    bool any_white_space;  // tokens apart by any white space, not only single spaces
    bool signs;            // tokens after a sign too
};

std::vector<named_reader> window_readers() {
    std::vector<named_reader> readers;
#if defined(__SSE2__)
    readers.push_back({"SSE2", take_with_sse2, false, false});
#endif
#if defined(SCREENING_AVX2)
    if (avx2_supported()) {
        using record_window::window_layout;
        readers.push_back({"AVX2", take_with_avx2, false, false});
        readers.push_back({"AVX2 any white space",
                           take_layout_with_avx2<window_layout::any_white_space>, true, false});
        readers.push_back({"AVX2 signed tokens",
                           take_layout_with_avx2<window_layout::signed_tokens>, true, true});
    }
#endif
    return readers;
}

bool is_white(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A token the window may take: 1 to 8 characters, digits and at most one
// point (none in the years), at least one digit that is not zero; with
// `signed_token`, after a sign if there is one.
bool usual_token(std::string_view token, bool years, bool signed_token) {
    if (signed_token && !token.empty() && (token[0] == '+' || token[0] == '-'))
        token.remove_prefix(1);
    if (token.empty() || token.size() > 8) return false;
    int points = 0;
    bool nonzero = false;
    for (const char c : token) {
        if (c == '.')
            ++points;
        else if (!is_digit(c))
            return false;
        else
            nonzero = nonzero || c != '0';
    }
    return points <= (years ? 0 : 1) && nonzero;
}

// Whether the window at the start of `held` (its first byte is white
// space) holds a usual record; the bytes after `held` are not input. With
// `any_white_space` the tokens may be apart by any run of white space and
// more may come before the first; with `signs` each may start with a sign.
bool usual_record(std::string_view held, bool any_white_space, bool signs) {
    std::size_t at = 1;
    for (int position = 0; position < 4; ++position) {
        while (any_white_space && at < held.size() && is_white(held[at])) ++at;
        // Anything not a token character ends a token; it must be a space
        // between tokens, and white space after the last.
        std::size_t token_end = at;
        while (token_end < held.size() && static_cast<unsigned char>(held[token_end]) > ' ' &&
               static_cast<unsigned char>(held[token_end]) < 0x80)
            ++token_end;
        if (token_end == held.size()) return false;
        if (!usual_token(held.substr(at, token_end - at), position == 2, signs)) return false;
        if (position < 3 && !any_white_space ? held[token_end] != ' ' : !is_white(held[token_end]))
            return false;
        if (token_end >= 32) return false;
        at = token_end + 1;
    }
    return true;
}

struct full_reading {
    bool complete;  // four values read
    std::uint32_t bits[4];
    std::int64_t consumed;
};

// The four values as the full scanners read them after the first byte.
full_reading read_with_scanners(std::string_view held) {
    static input_stream stream;
    memory_input bytes = memory_bytes(held.data() + 1, held.size() - 1);
    open_memory_input(stream, bytes);
    full_reading reading{};
    for (int position = 0; position < 4; ++position) {
        scan_result result = scan_result::value;
        if (position == 2) {
            std::int32_t years = 0;
            result = scan_int(stream, years);
            reading.bits[position] = static_cast<std::uint32_t>(years);
        } else {
            float value = 0;
            result = scan_float(stream, value);
            reading.bits[position] = std::bit_cast<std::uint32_t>(value);
        }
        if (result != scan_result::value) return reading;
    }
    reading.complete = true;
    reading.consumed = consumed_count(stream);
    return reading;
}

// Checks one window: `held` is the input held from the window's start, and
// `stale` the bytes that follow it in the buffer without being input. The
// buffer starts 8 bytes before the window and ends right after the room the
// reader may look into, so that the sanitizers see any read beyond them.
void check_window(const named_reader& reader, std::string_view held, std::string_view stale) {
    constexpr auto room_before = static_cast<std::size_t>(record_window::avx2_room_before);
    const std::size_t size = room_before + held.size() + input_buffer_slack;
    const auto buffer = std::make_unique<unsigned char[]>(size);
    for (std::size_t k = 0; k < size; ++k)
        buffer[k] = static_cast<unsigned char>(stale.empty() ? 0 : stale[k % stale.size()]);
    std::memcpy(buffer.get() + room_before, held.data(), held.size());
    const unsigned char* const start = buffer.get() + room_before;
    const unsigned char* const end = start + held.size();

    static record_table table;
    const unsigned char* cursor = start;
    std::int64_t line = 10;
    const bool taken = reader.take(cursor, end, table, 7, line);
    const std::string context = std::string(reader.name) + " window \"" + escaped(held) +
                                "\" before \"" + escaped(stale) + "\"";
    ASSERT_EQ(taken, usual_record(held, reader.any_white_space, reader.signs)) << context;
    if (!taken) {
        EXPECT_EQ(cursor, start) << context;
        EXPECT_EQ(line, 10) << context;
        return;
    }
    const full_reading expected = read_with_scanners(held);
    ASSERT_TRUE(expected.complete) << context;
    EXPECT_EQ(std::bit_cast<std::uint32_t>(table.base_amount[7]), expected.bits[0]) << context;
    EXPECT_EQ(std::bit_cast<std::uint32_t>(table.monthly_amount[7]), expected.bits[1]) << context;
    EXPECT_EQ(static_cast<std::uint32_t>(table.years[7]), expected.bits[2]) << context;
    EXPECT_EQ(std::bit_cast<std::uint32_t>(table.percent[7]), expected.bits[3]) << context;
    EXPECT_EQ(cursor - start, expected.consumed + 1) << context;
    const auto taken_length = static_cast<std::size_t>(expected.consumed + 1);
    EXPECT_EQ(line, 10 + std::count(held.begin(),
                                    held.begin() + static_cast<std::ptrdiff_t>(taken_length), '\n'))
        << context;
}

std::string digits(std::mt19937_64& random, std::size_t count) {
    std::string text;
    for (std::size_t k = 0; k < count; ++k) text += static_cast<char>('0' + random() % 10);
    return text;
}

// A token of `length` characters with a point at `point` (or none when it
// is `length` or more).
std::string decimal_token(std::mt19937_64& random, std::size_t length, std::size_t point) {
    std::string token = digits(random, length);
    if (point < length) token[point] = '.';
    return token;
}

template <std::size_t n>
char pick(std::mt19937_64& random, const char (&choices)[n]) {
    return choices[random() % (n - 1)];
}

std::string odd_token(std::mt19937_64& random) {
    std::string token;
    const std::size_t length = random() % 11;
    for (std::size_t k = 0; k < length; ++k)
        token += pick(random, "0123456789..+-eExXnNaiIfF/:\x7f\x80\xff");
    return token;
}

std::string separator(std::mt19937_64& random) {
    static const char* const odd[] = {"  ",  "\t", "\n",   "\r",   "\x80",  "",     "\v",
                                      " \n", "\f", "\r\n", "\n\n", "   \t", "\x01", "\x1f"};
    if (random() % 12 != 0) return " ";
    return odd[random() % std::size(odd)];
}

std::string generated_token(std::mt19937_64& random, bool years) {
    switch (random() % 20) {
    case 0:
        return odd_token(random);
    case 1: {
        // Zeros, which close a list: the window leaves them to the scanners.
        std::string zero(1 + random() % 3, '0');
        if (!years) zero += '.';
        zero.append(random() % 3, '0');
        return zero;
    }
    default: {
        const std::size_t length = 1 + random() % (random() % 8 == 0 ? 10 : 8);
        const std::size_t point = years && random() % 8 != 0 ? length : random() % (length + 2);
        const std::string token = decimal_token(random, length, point);
        if (random() % 10 != 0) return token;
        return std::string(1, random() % 2 == 0 ? '-' : '+') + token;
    }
    }
}

const char stale_choices[][8] = {"", " ", "0", "9 ", "\n", "1.5 7 ", "\x80", "x"};

TEST(RecordWindow, GeneratedRecordsMatchTheFullScanners) {
    const auto readers = window_readers();
    ASSERT_FALSE(readers.empty());
    std::mt19937_64 random(0x5c4ee17);
    int taken = 0;   // usual with single spaces
    int spread = 0;  // usual with any white space between the tokens
    for (int n = 0; n < 500000 && !HasFailure(); ++n) {
        std::string record(1, pick(random, " \n\n\n\t\r\v\f"));
        if (random() % 8 == 0) record += separator(random);
        for (int position = 0; position < 4; ++position) {
            if (position > 0) record += separator(random);
            record += generated_token(random, position == 2);
        }
        record += pick(random, "\n\n\n\n  \t\rx0");
        if (random() % 2 == 0) record += "17.5 3 2 1.25\n";
        // The input held may end anywhere, most often after the record.
        const std::size_t held = random() % 4 == 0 ? random() % (record.size() + 1) : record.size();
        if (held == 0) continue;
        const std::string_view stale = stale_choices[random() % std::size(stale_choices)];
        taken += usual_record(std::string_view(record).substr(0, held), false, false) ? 1 : 0;
        spread += usual_record(std::string_view(record).substr(0, held), true, true) ? 1 : 0;
        for (const named_reader& reader : readers)
            check_window(reader, std::string_view(record).substr(0, held), stale);
    }
    // Many generated records are usual ones, and many have other white space
    // or signs.
    EXPECT_GT(taken, 50000);
    EXPECT_GT(spread - taken, 10000);
}

// Every length and point place of each token, the other tokens short, and
// the window ending at every place around the record.
TEST(RecordWindow, EveryTokenShapeAndEveryEnd) {
    const auto readers = window_readers();
    std::mt19937_64 random(0x0d1617);
    for (int position = 0; position < 4; ++position) {
        for (std::size_t length = 1; length <= 9; ++length) {
            for (std::size_t point = 0; point <= length; ++point) {
                for (int sample = 0; sample < 20; ++sample) {
                    std::string tokens[4] = {"12.5", "3.25", "7", "1.5"};
                    tokens[position] = decimal_token(random, length, point);
                    std::string record = "\n";
                    for (int k = 0; k < 4; ++k) {
                        if (k > 0) record += ' ';
                        record += tokens[k];
                    }
                    record += "\n";
                    for (std::size_t held = 1; held <= record.size(); ++held)
                        for (const named_reader& reader : readers)
                            check_window(reader, std::string_view(record).substr(0, held), "5");
                }
            }
        }
    }
}

// Records as long as the window allows, and one byte longer.
TEST(RecordWindow, TheWindowsLastByte) {
    const auto readers = window_readers();
    std::mt19937_64 random(32);
    for (std::size_t total = 20; total <= 36; ++total) {
        // Tokens of 7 or 8 characters making `total` bytes with the white
        // space before, the separators and the one after.
        std::string record = "\n";
        std::size_t left = total - 5;
        for (int k = 0; k < 4; ++k) {
            const std::size_t length = std::min<std::size_t>(8, left - (3 - k));
            if (k > 0) record += ' ';
            record += decimal_token(random, length, k == 2 ? 9 : length / 2);
            left -= length;
        }
        record += " 1 1 1 1\n";
        for (const named_reader& reader : readers) check_window(reader, record, "");
    }
}

}  // namespace
