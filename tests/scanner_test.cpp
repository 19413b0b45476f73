// The scanner on hand-picked tokens: the result, the value's bits and the
// characters taken, as scanf's %f and %d give them. Every token is also
// read one byte per piece and placed across the end of the 64 KiB buffer,
// where the short-number paths must hand over to the full scanner.
#include <gtest/gtest.h>

#include <bit>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "memory_input.hpp"
#include "scanner.hpp"

namespace {

using namespace std::string_literals;

enum class conversion { float_value, int_value };

struct scanned {
    scan_result result;
    std::uint32_t bits;  // the float's bits, or the integer as unsigned
    std::int64_t consumed;
    std::int64_t line;
};

// An input_stream is 64 KiB: one for the whole program.
input_stream& shared_stream() {
    static const auto stream = std::make_unique<input_stream>();
    return *stream;
}

scanned scan_text(std::string_view text, conversion kind,
                  const std::vector<std::size_t>& pieces = {}) {
    input_stream& stream = shared_stream();
    memory_input input = memory_bytes(text.data(), text.size(),
                                      pieces.empty() ? nullptr : pieces.data(), pieces.size());
    open_memory_input(stream, input);
    scanned out{};
    if (kind == conversion::float_value) {
        float value = 12345.0f;
        out.result = scan_float(stream, value);
        out.bits = std::bit_cast<std::uint32_t>(value);
    } else {
        std::int32_t value = 12345;
        out.result = scan_int(stream, value);
        out.bits = static_cast<std::uint32_t>(value);
    }
    out.consumed = consumed_count(stream);
    out.line = stream.line;
    return out;
}

std::string escaped(std::string_view text) {
    std::string out;
    for (const unsigned char c : text.substr(0, 200)) {
        char code[8];
        if (c >= 0x20 && c < 0x7f)
            out += static_cast<char>(c);
        else
            std::snprintf(code, sizeof code, "\\x%02x", c), out += code;
    }
    return text.size() > 200 ? out + "... (" + std::to_string(text.size()) + " bytes)" : out;
}

const char* result_name(scan_result r) {
    return r == scan_result::value          ? "value"
           : r == scan_result::not_a_number ? "not a number"
                                            : "end of input";
}

std::uint32_t bits(float value) { return std::bit_cast<std::uint32_t>(value); }

// ---------------------------------------------------------------------------
// Tokens. For values the expected bits come from strtof (strtol for
// integers) on `value_text`, or are given where the platform rounds wrong.

struct token_case {
    std::string text;
    scan_result result;
    const char* value_text;  // nullptr: take `value_bits`
    std::uint32_t value_bits;
    std::int64_t consumed;
};

constexpr auto V = scan_result::value;
constexpr auto N = scan_result::not_a_number;
constexpr auto E = scan_result::end_of_input;

const token_case float_cases[] = {
    {"0", V, "0", 0, 1},
    {"-0", V, nullptr, 0x80000000u, 2},
    {"+0", V, nullptr, 0, 2},
    {"-0.0e-5", V, nullptr, 0x80000000u, 7},
    {"-0x0p0", V, nullptr, 0x80000000u, 6},
    // Minus zero written long enough to leave the shortest paths.
    {"-0.00000000 ", V, nullptr, 0x80000000u, 11},
    {"-000000000000 ", V, nullptr, 0x80000000u, 13},
    {"-0.0000000000000000000000000 ", V, nullptr, 0x80000000u, 28},
    {"-0.000000000e5 ", V, nullptr, 0x80000000u, 14},
    {"1", V, "1", 0, 1},
    {"1.5", V, "1.5", 0, 3},
    {"-1.5", V, "-1.5", 0, 4},
    {".5", V, "0.5", 0, 2},
    {"5.", V, "5", 0, 2},
    {"+.5e1", V, "5", 0, 5},
    {"3.7", V, "3.7", 0, 3},
    {"91.67", V, "91.67", 0, 5},
    {"0.1", V, "0.1", 0, 3},
    {"16777217", V, "16777216", 0, 8},  // a tie, to even
    {"16777219", V, "16777220", 0, 8},  // a tie, to even upwards
    {"1234567", V, "1234567", 0, 7},
    {"12345678", V, "12345678", 0, 8},
    {"1.234567", V, "1.234567", 0, 8},
    {"123456789012345678901234567890", V, "123456789012345678901234567890", 0, 30},
    {"1e", V, "1", 0, 2},
    {"1e+", V, "1", 0, 3},
    {"1e-x", V, "1", 0, 3},
    {"1E5", V, "100000", 0, 3},
    {"1.2.3", V, "1.2", 0, 3},
    {"1e5e6", V, "1e5", 0, 3},
    {"5-3", V, "5", 0, 1},
    {"5+3", V, "5", 0, 1},
    {"2x", V, "2", 0, 1},
    {"7\0"s, V, "7", 0, 1},
    {"1e-46", V, "0", 0, 5},
    {"-1e-46", V, nullptr, 0x80000000u, 6},
    {"1e-45", V, nullptr, 1, 5},
    {"1e-40", V, "1e-40", 0, 5},
    {"1.17549435e-38", V, "1.17549435e-38", 0, 14},
    {"3.4028235e38", V, nullptr, 0x7f7fffffu, 12},
    {"3.4028236e38", V, nullptr, 0x7f800000u, 12},
    {"-1e39", V, nullptr, 0xff800000u, 5},
    {"1e999999999999999999999999", V, nullptr, 0x7f800000u, 26},
    {"1e-999999999999999999999999", V, "0", 0, 27},
    {"0e999999999999999999999999", V, "0", 0, 26},
    {"0x", N, nullptr, 0, 2},
    {"0xg", N, nullptr, 0, 2},
    {"-0x", N, nullptr, 0, 3},
    {"0x.", V, "0", 0, 3},
    {"0x.p1", V, "0", 0, 3},
    {"0x1p", V, "1", 0, 4},
    {"0x1p-", V, "1", 0, 5},
    {"0x1P-2", V, "0.25", 0, 6},
    {"00x1", V, "0", 0, 2},
    {"0X1.8", V, "1.5", 0, 5},
    {"0x.8p1", V, "1", 0, 6},
    {"0xAbCdEf", V, "11259375", 0, 8},
    {"0x1.fffffep127", V, nullptr, 0x7f7fffffu, 14},
    {"0x1.ffffffp127", V, nullptr, 0x7f800000u, 14},
    {"0x1p-149", V, nullptr, 1, 8},
    {"0x1p-150", V, nullptr, 0, 8},
    {"0x1.8p-149", V, nullptr, 2, 10},
    // The platform's strtof gets these two wrong; nearest is the rule.
    {"0x1.000001p-150", V, nullptr, 1, 15},
    {"0x1.000003p-127", V, nullptr, 0x00400001u, 15},
    {"inf", V, nullptr, 0x7f800000u, 3},
    {"INF", V, nullptr, 0x7f800000u, 3},
    {"-Inf", V, nullptr, 0xff800000u, 4},
    {"infinity", V, nullptr, 0x7f800000u, 8},
    {"InFiNiTy", V, nullptr, 0x7f800000u, 8},
    {"+infinity", V, nullptr, 0x7f800000u, 9},
    {"infx", V, nullptr, 0x7f800000u, 3},
    {"infinityx", V, nullptr, 0x7f800000u, 8},
    {"infin", N, nullptr, 0, 5},
    {"infinix", N, nullptr, 0, 7},
    {"infinit", N, nullptr, 0, 7},
    {"inx", N, nullptr, 0, 3},
    {"i", N, nullptr, 0, 1},
    {"nan", V, nullptr, 0x7fc00000u, 3},
    {"NAN", V, nullptr, 0x7fc00000u, 3},
    {"-nan", V, nullptr, 0xffc00000u, 4},
    {"+NaN", V, nullptr, 0x7fc00000u, 4},
    {"nan(1)", V, nullptr, 0x7fc00000u, 3},
    {"nanx", V, nullptr, 0x7fc00000u, 3},
    {"na", N, nullptr, 0, 2},
    {"nax", N, nullptr, 0, 3},
    {"n", N, nullptr, 0, 1},
    {"-", N, nullptr, 0, 1},
    {"+", N, nullptr, 0, 1},
    {"- 1", N, nullptr, 0, 1},
    {".", N, nullptr, 0, 1},
    {"-.e", N, nullptr, 0, 2},
    {"e5", N, nullptr, 0, 0},
    {"x", N, nullptr, 0, 0},
    {"\0"s, N, nullptr, 0, 0},
    {"\xff", N, nullptr, 0, 0},
    {"", E, nullptr, 0, 0},
    {"   \n\t", E, nullptr, 0, 5},
    {"  1", V, "1", 0, 3},
    {"\v\f\r\t\n 25 ", V, "25", 0, 8},
};

const token_case int_cases[] = {
    {"0", V, "0", 0, 1},
    {"-0", V, "0", 0, 2},
    {"+5", V, "5", 0, 2},
    {"007", V, "7", 0, 3},
    {"2.5", V, "2", 0, 1},
    {"1e5", V, "1", 0, 1},
    {"0x10", V, "0", 0, 1},
    {"12-3", V, "12", 0, 2},
    {"123456789", V, "123456789", 0, 9},
    {"1234567890", V, "1234567890", 0, 10},
    {"2147483647", V, "2147483647", 0, 10},
    {"-2147483648", V, "-2147483648", 0, 11},
    // Beyond the range: saturated, never wrapped.
    {"2147483648", V, "2147483647", 0, 10},
    {"-2147483649", V, "-2147483648", 0, 11},
    {"3000000000", V, "2147483647", 0, 10},
    {"4294967296", V, "2147483647", 0, 10},
    {"4294967297", V, "2147483647", 0, 10},
    {"-4294967295", V, "-2147483648", 0, 11},
    {"99999999999999999999999", V, "2147483647", 0, 23},
    {"-99999999999999999999999", V, "-2147483648", 0, 24},
    {"000000000000000000000000012", V, "12", 0, 27},
    {"-", N, nullptr, 0, 1},
    {"+-1", N, nullptr, 0, 1},
    {"--1", N, nullptr, 0, 1},
    {".5", N, nullptr, 0, 0},
    {"x", N, nullptr, 0, 0},
    {"nan", N, nullptr, 0, 0},
    {"\0"s, N, nullptr, 0, 0},
    {"", E, nullptr, 0, 0},
    {" \n ", E, nullptr, 0, 3},
    {" \n 12 ", V, "12", 0, 5},
};

std::uint32_t expected_bits(const token_case& c, conversion kind) {
    if (c.value_text == nullptr) return c.value_bits;
    if (kind == conversion::float_value) return bits(std::strtof(c.value_text, nullptr));
    return static_cast<std::uint32_t>(
        static_cast<std::int32_t>(std::strtol(c.value_text, nullptr, 10)));
}

void check_token(const token_case& c, conversion kind) {
    const std::uint32_t want = expected_bits(c, kind);
    const auto check = [&](const std::string& text, std::int64_t offset,
                           const std::vector<std::size_t>& pieces, const std::string& how) {
        const scanned got = scan_text(text, kind, pieces);
        EXPECT_EQ(got.result, c.result)
            << "\"" << escaped(c.text) << "\" " << how << ": " << result_name(got.result);
        if (c.result == scan_result::value && got.result == scan_result::value) {
            EXPECT_EQ(got.bits, want) << "\"" << escaped(c.text) << "\" " << how << std::hex
                                      << ": got 0x" << got.bits << ", want 0x" << want;
        }
        EXPECT_EQ(got.consumed - offset, c.consumed) << "\"" << escaped(c.text) << "\" " << how;
    };
    check(c.text, 0, {}, "whole");
    check(c.text, 0, {1}, "one byte per piece");
    // Across the end of the first buffer: the token starts a few bytes
    // before it, so some of it (or only the look-ahead) comes with the
    // second fill. Leading white space is taken by the scanner.
    for (std::size_t before_end = 1; before_end <= c.text.size() + 1 && before_end <= 12;
         ++before_end) {
        const std::size_t padding = input_buffer_size - before_end;
        check(std::string(padding, ' ') + c.text, static_cast<std::int64_t>(padding), {},
              "starting " + std::to_string(before_end) + " bytes before the buffer's end");
    }
    // The same, with the end of input instead of the buffer's end: nothing
    // after the token's bytes may be looked at.
    check(std::string(input_buffer_size - c.text.size(), ' ') + c.text,
          static_cast<std::int64_t>(input_buffer_size - c.text.size()), {},
          "ending the full buffer");
}

}  // namespace

TEST(ScanFloat, Tokens) {
    for (const token_case& c : float_cases) check_token(c, conversion::float_value);
}

TEST(ScanInt, Tokens) {
    for (const token_case& c : int_cases) check_token(c, conversion::int_value);
}

// ---------------------------------------------------------------------------
// Tokens longer than the buffer: the scanner keeps the digits that matter
// and counts the rest, across refills.

namespace {

struct long_token_case {
    const char* name;
    std::string text;
};

std::vector<long_token_case> long_token_cases() {
    const std::string many_zeros(70000, '0');
    std::string many_digits;
    for (int k = 0; k < 100000; ++k) many_digits += static_cast<char>('0' + (k * 7 + 3) % 10);
    return {
        {"a one and 70000 zeros, scaled back", "1" + many_zeros + "e-70000"},
        {"70000 zeros after the point, scaled up", "0." + many_zeros + "1e70001"},
        {"70000 leading zeros", many_zeros + "1.5"},
        {"100000 digits", many_digits},
        {"100000 digits after the point", "0." + many_digits + "e5"},
        {"an exponent of 70000 digits", "1e" + many_zeros + "5"},
        {"a negative exponent of 70000 digits", "-25e-" + many_zeros + "1"},
        {"a midpoint followed by 70000 zeros and a one", "16777217." + many_zeros + "1"},
        {"a midpoint followed by 70000 zeros", "16777217." + many_zeros},
        {"a long hexadecimal mantissa", "0x1." + many_zeros + "1p0"},
        {"a long hexadecimal tie broken far away", "0x1.000001" + many_zeros + "1p0"},
        {"a long hexadecimal tie", "0x1.000001" + many_zeros + "p0"},
        {"a hexadecimal fraction after many zeros", "0x0." + many_zeros + "8p280003"},
    };
}

}  // namespace

TEST(ScanFloat, TokensLongerThanTheBuffer) {
    for (const long_token_case& c : long_token_cases()) {
        char* end = nullptr;
        const float expected = std::strtof(c.text.c_str(), &end);
        ASSERT_EQ(static_cast<std::size_t>(end - c.text.c_str()), c.text.size()) << c.name;
        for (const std::vector<std::size_t>& pieces :
             {std::vector<std::size_t>{}, std::vector<std::size_t>{1},
              std::vector<std::size_t>{4093, 17}}) {
            const scanned got = scan_text(c.text + " ", conversion::float_value, pieces);
            EXPECT_EQ(got.result, scan_result::value) << c.name;
            EXPECT_EQ(got.bits, bits(expected)) << c.name << std::hexfloat << ": want " << expected;
            EXPECT_EQ(got.consumed, static_cast<std::int64_t>(c.text.size())) << c.name;
        }
    }
}

TEST(ScanInt, DigitsLongerThanTheBuffer) {
    const std::string zeros(70000, '0');
    EXPECT_EQ(static_cast<std::int32_t>(scan_text(zeros + "42 ", conversion::int_value).bits), 42);
    EXPECT_EQ(
        static_cast<std::int32_t>(scan_text("-" + zeros + "42 ", conversion::int_value, {1}).bits),
        -42);
    EXPECT_EQ(static_cast<std::int32_t>(scan_text("7" + zeros, conversion::int_value).bits),
              INT32_MAX);
    EXPECT_EQ(static_cast<std::int32_t>(scan_text("-7" + zeros, conversion::int_value, {999}).bits),
              INT32_MIN);
    EXPECT_EQ(scan_text("-7" + zeros, conversion::int_value).consumed, 70002);
}

// ---------------------------------------------------------------------------
// Several values from one stream: each scan starts where the last stopped.

namespace {

struct sequence_case {
    std::string text;
    std::string conversions;  // f or d per scan
    std::vector<scan_result> results;
    std::vector<const char*> values;  // strtof/strtol text per value, nullptr for failures
    std::int64_t consumed;
    std::int64_t line;
};

const sequence_case sequence_cases[] = {
    {"5-3", "ff", {V, V}, {"5", "-3"}, 3, 1},
    {"2.5", "df", {V, V}, {"2", ".5"}, 3, 1},
    {"1e5e6", "ff", {V, N}, {"1e5", nullptr}, 3, 1},
    {"nan(1)", "ff", {V, N}, {"nan", nullptr}, 3, 1},
    {"nax 5", "ff", {N, V}, {nullptr, "5"}, 5, 1},
    {"infinix5", "ff", {N, V}, {nullptr, "5"}, 8, 1},
    {"x 5", "ff", {N, N}, {nullptr, nullptr}, 0, 1},
    {"1\n2\n\n3\n", "fdf", {V, V, V}, {"1", "2", "3"}, 6, 4},
    {"1\r\n2\r\r3", "fff", {V, V, V}, {"1", "2", "3"}, 7, 2},
    {"\n\n\n", "f", {E}, {nullptr}, 3, 4},
    {"1 2\n", "ddd", {V, V, E}, {"1", "2", nullptr}, 4, 2},
    {"+-5", "ff", {N, V}, {nullptr, "-5"}, 3, 1},
    {"0x1p3p", "ff", {V, N}, {"8", nullptr}, 5, 1},
    {"1e+-5", "fd", {V, V}, {"1", "-5"}, 5, 1},
};

}  // namespace

TEST(Scanner, SeveralValuesFromOneStream) {
    for (const sequence_case& c : sequence_cases) {
        for (const std::vector<std::size_t>& pieces :
             {std::vector<std::size_t>{}, std::vector<std::size_t>{1}}) {
            std::string trace = "\"";
            trace += escaped(c.text);
            trace += pieces.empty() ? "\" whole" : "\" in one-byte pieces";
            SCOPED_TRACE(trace);
            input_stream& stream = shared_stream();
            memory_input input =
                memory_bytes(c.text.data(), c.text.size(), pieces.empty() ? nullptr : pieces.data(),
                             pieces.size());
            open_memory_input(stream, input);
            for (std::size_t k = 0; k < c.conversions.size(); ++k) {
                if (c.conversions[k] == 'f') {
                    float value = 0;
                    const scan_result result = scan_float(stream, value);
                    EXPECT_EQ(result, c.results[k]) << "scan " << k;
                    if (result == V && c.values[k] != nullptr) {
                        EXPECT_EQ(bits(value), bits(std::strtof(c.values[k], nullptr)))
                            << "scan " << k;
                    }
                } else {
                    std::int32_t value = 0;
                    const scan_result result = scan_int(stream, value);
                    EXPECT_EQ(result, c.results[k]) << "scan " << k;
                    if (result == V && c.values[k] != nullptr) {
                        EXPECT_EQ(value, std::strtol(c.values[k], nullptr, 10)) << "scan " << k;
                    }
                }
            }
            EXPECT_EQ(consumed_count(stream), c.consumed);
            EXPECT_EQ(stream.line, c.line);
        }
    }
}

// After a failed fill the source is never asked again and the error stays.
TEST(Scanner, AFailedFillEndsTheInput) {
    struct failing {
        int calls;
    } source{0};
    const auto fill = [](void* context, unsigned char* into, unsigned long) -> long {
        auto& s = *static_cast<failing*>(context);
        if (s.calls++ == 0) {
            into[0] = '7';
            return 1;
        }
        return -EIO;
    };
    input_stream& stream = shared_stream();
    open_input(stream, {fill, &source});
    float value = 0;
    EXPECT_EQ(scan_float(stream, value), scan_result::value);  // "7", then the failure ends it
    EXPECT_EQ(value, 7.0f);
    EXPECT_EQ(stream.read_error, EIO);
    EXPECT_EQ(scan_float(stream, value), scan_result::end_of_input);
    EXPECT_FALSE(skip_white_space(stream));
    EXPECT_EQ(source.calls, 2);
}

// The unconsumed count is what a seekable input gives back at the end.
TEST(Scanner, UnconsumedBytesAreTheRestOfTheBuffer) {
    const std::string text = "12.5 rest of the input";
    input_stream& stream = shared_stream();
    memory_input input = memory_bytes(text.data(), text.size());
    open_memory_input(stream, input);
    float value = 0;
    ASSERT_EQ(scan_float(stream, value), scan_result::value);
    EXPECT_EQ(consumed_count(stream), 4);
    EXPECT_EQ(unconsumed_count(stream), static_cast<long>(text.size() - 4));
}

// Seven digits and a point fill a whole word; the point in its last byte
// once made the digits' value ten times too large.
TEST(ScanFloat, APointInTheLastByteOfAWord) {
    static input_stream stream;
    for (const std::string text : {"1234567. 1", "7631694.PX", "+7631694.e", "-1000000.x"}) {
        SCOPED_TRACE(text);
        memory_input input = memory_bytes(text.data(), text.size());
        open_memory_input(stream, input);
        float value = 0;
        ASSERT_EQ(scan_float(stream, value), scan_result::value);
        float expected = 0;
        int taken = 0;
        ASSERT_EQ(std::sscanf(text.c_str(), "%f%n", &expected, &taken), 1);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(value), std::bit_cast<std::uint32_t>(expected));
        EXPECT_EQ(consumed_count(stream), taken);
    }
}
