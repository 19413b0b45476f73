// The scanner against this platform's own strtof and strtoll, on generated
// tokens, as a program of its own: it needs no test framework, so every
// cross build runs it under its emulator, where the word-at-a-time paths meet
// another byte order, another word size and other floating-point hardware.
//
// Each token is followed by a line feed and scanned whole, and the tokens
// with long digit runs also with the buffer's end at every place inside
// them, both where a fill stops short and where the full buffer ends. Our
// scanner must give the platform's bits and take exactly the token's
// characters. Exit status 1 on any difference, which is printed.
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../tools/platform_check.hpp"
#include "scanner.hpp"
#include "support/memory_input.hpp"

namespace {

input_stream stream;  // about 64 KiB: not on the stack

struct check_counts {
    std::uint64_t tokens;
    std::uint64_t scans;
    std::uint64_t hex_faults_overruled;
    std::uint64_t mismatches;
};

check_counts counts;

std::uint64_t random_state = 0x5eed'0f'5ca1'ab1e;

// splitmix64: the same numbers on every platform.
std::uint64_t next_random() {
    std::uint64_t z = (random_state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

int random_below(int bound) {
    return static_cast<int>(next_random() % static_cast<unsigned>(bound));
}

char random_digit() { return static_cast<char>('0' + random_below(10)); }

// `cut`: the token's characters before the buffer's end, 0 when it is whole.
void report(const std::string& token, const char* what, std::uint64_t ours, std::uint64_t theirs,
            long ours_taken, std::size_t cut) {
    if (++counts.mismatches > 20) return;
    std::printf(
        "mismatch (%s) \"%s\", buffer end after %zu characters: ours 0x%llx after %ld "
        "characters, platform 0x%llx\n",
        what, token.c_str(), cut, static_cast<unsigned long long>(ours), ours_taken,
        static_cast<unsigned long long>(theirs));
}

// Appends the pieces in turn (GCC 12 warns wrongly on "text" + string).
template <typename... pieces>
std::string joined(const pieces&... piece) {
    std::string text;
    (text += ... += piece);
    return text;
}

enum class token_kind { float_value, int_value };

// The platform's reading of a token: its bits (an int32 as its two's
// complement), and whether it takes the whole token.
struct platform_reading {
    std::uint32_t bits;
    bool whole;
};

platform_reading read_by_platform(const std::string& token, token_kind kind) {
    char* end = nullptr;
    if (kind == token_kind::int_value) {
        long long value = std::strtoll(token.c_str(), &end, 10);
        if (value > INT32_MAX) value = INT32_MAX;
        if (value < INT32_MIN) value = INT32_MIN;
        return {static_cast<std::uint32_t>(value), end == token.c_str() + token.size()};
    }
    const float value = std::strtof(token.c_str(), &end);
    return {std::bit_cast<std::uint32_t>(value), end == token.c_str() + token.size()};
}

// Scans `prefix` spaces and the token with its line feed, delivered as one
// piece or cut after `cut` characters of the token.
void scan_once(const std::string& token, token_kind kind, const platform_reading& platform,
               std::size_t prefix, std::size_t cut) {
    const std::string text = joined(std::string(prefix, ' '), token, "\n");
    const std::size_t pieces[2] = {cut == 0 ? text.size() : prefix + cut, text.size()};
    memory_input input = memory_bytes(text.data(), text.size(), pieces, prefix > 0 ? 0 : 2);
    open_memory_input(stream, input);
    ++counts.scans;
    std::uint32_t ours = 0;
    bool scanned = false;
    if (kind == token_kind::int_value) {
        std::int32_t value = 0;
        scanned = scan_int(stream, value) == scan_result::value;
        ours = static_cast<std::uint32_t>(value);
    } else {
        float value = 0;
        scanned = scan_float(stream, value) == scan_result::value;
        ours = std::bit_cast<std::uint32_t>(value);
    }
    const auto taken =
        static_cast<long>(consumed_count(stream) - static_cast<std::int64_t>(prefix));
    float_agreement agreement = float_agreement::different;
    if (scanned && platform.whole && taken == static_cast<long>(token.size()))
        agreement =
            kind == token_kind::int_value
                ? (ours == platform.bits ? float_agreement::same : float_agreement::different)
                : compare_with_platform(reinterpret_cast<const unsigned char*>(token.data()),
                                        token.size(), ours, platform.bits, true);
    if (agreement == float_agreement::platform_hex_fault) ++counts.hex_faults_overruled;
    if (agreement == float_agreement::different)
        report(token, kind == token_kind::int_value ? "%d" : "%f", ours, platform.bits, taken,
               prefix > 0 ? input_buffer_size - prefix : cut);
}

// Whole, and with a fill that stops at one place inside it.
void check(const std::string& token, token_kind kind = token_kind::float_value) {
    ++counts.tokens;
    const platform_reading platform = read_by_platform(token, kind);
    scan_once(token, kind, platform, 0, 0);
    if (token.size() > 1)
        scan_once(token, kind, platform, 0,
                  1 + static_cast<std::size_t>(random_below(static_cast<int>(token.size()) - 1)));
}

// Whole, and with the buffer's end at every place inside it: where a fill
// stops short, and for tokens that fit a word or three, where the full
// buffer ends.
void check_every_cut(const std::string& token) {
    ++counts.tokens;
    const platform_reading platform = read_by_platform(token, token_kind::float_value);
    scan_once(token, token_kind::float_value, platform, 0, 0);
    for (std::size_t cut = 1; cut < token.size(); ++cut)
        scan_once(token, token_kind::float_value, platform, 0, cut);
    if (token.size() > 24) return;
    for (std::size_t cut = 1; cut < token.size(); ++cut)
        scan_once(token, token_kind::float_value, platform, input_buffer_size - cut, 0);
}

std::string random_digits(int count) {
    std::string digits;
    for (int i = 0; i < count; ++i) digits += random_digit();
    return digits;
}

std::string with_point(const std::string& digits, int place) {
    const auto at = static_cast<std::size_t>(place);
    return joined(digits.substr(0, at), ".", digits.substr(at));
}

std::string with_sign(const std::string& token) {
    const int sign = random_below(4);
    return joined(sign == 0 ? "-" : sign == 1 ? "+" : "", token);
}

// Runs of 1 to 140 digits (past the 128 that decide any rounding), with the
// point before, inside or after them, leading zeros, and runs of nines and
// zeros that carry or stop the word loops.
void check_digit_runs() {
    check_every_cut("1.00000009");
    check_every_cut("0.21850586");
    for (int length = 1; length <= 140; ++length) {
        const std::string digits = random_digits(length);
        check_every_cut(digits);
        check_every_cut(with_sign(joined("1", digits)));
        const std::string zeros(static_cast<std::size_t>(length), '0');
        check_every_cut(joined(with_point(digits, random_below(length + 1)), "1"));
        check_every_cut(joined("0.", zeros, "1", digits));
        check_every_cut(
            joined(std::string(static_cast<std::size_t>(length), '9'), ".", digits.substr(0, 3)));
        check_every_cut(joined("1", zeros, "1e-", std::to_string(length + 10)));
    }
}

// Decimal mantissas of 1 to 25 digits with exponents around and beyond the
// binary32 range, in both letter cases and with every sign.
void check_exponents() {
    for (int i = 0; i < 3000; ++i) {
        const int length = 1 + random_below(25);
        std::string mantissa = random_digits(length);
        if (length > 1) mantissa = with_point(mantissa, random_below(length));
        const int exponent = random_below(110) - 70;
        const char* sign = exponent < 0 ? "-" : random_below(2) == 0 ? "+" : "";
        check(with_sign(joined(mantissa, random_below(2) == 0 ? "e" : "E", sign,
                               std::to_string(exponent < 0 ? -exponent : exponent))));
    }
    for (const char* token : {"1e-46", "1e-40", "1e39", "3.4028235e38", "3.4028236e38", "1e+999999",
                              "1e-999999", "7.006492321624085354618e-46"})
        check(token);
    // Binary32 midpoints: exactly (ties to even), and 18014399583223810,
    // whose binary64 value is the midpoint (2^24 + 1) * 2^30 below it, so
    // that narrowing the binary64 value would round it down wrongly.
    for (const char* token : {"16777217", "1801439958322381e1", "18014399583223810",
                              "180143995832238.10e2", "0.0000000018014399583223810e27"})
        check(token);
}

// Random bit patterns of every class, subnormals often, spelled shortest,
// with nine and seventy digits, and in hexadecimal; and the exact midpoints
// between neighbours, which must round to the even one, and just above them.
void check_patterns() {
    char text[160];
    for (int i = 0; i < 2500; ++i) {
        std::uint32_t bits = static_cast<std::uint32_t>(next_random());
        if (i % 3 == 0) bits &= 0x807fffffu;  // zero or subnormal
        const float value = std::bit_cast<float>(bits);
        if (std::isnan(value)) continue;
        const double wide = value;
        check(std::string(text, std::to_chars(text, text + sizeof text, value).ptr));
        std::snprintf(text, sizeof text, "%.8e", wide);
        check(text);
        std::snprintf(text, sizeof text, "%.70e", wide);
        check(text);
        std::snprintf(text, sizeof text, "%a", wide);
        check(text);
        if (std::isinf(value)) continue;
        // Half a unit above `value` in binary32 is exact in binary64, and
        // has at most 112 significant digits in decimal.
        const float next = std::nextafter(value, std::copysign(INFINITY, value));
        if (std::isinf(next)) continue;
        const double midpoint = (wide + static_cast<double>(next)) / 2;
        std::snprintf(text, sizeof text, "%.120e", midpoint);
        std::string exact(text);
        check(exact);
        const std::size_t e = exact.find('e');
        check(joined(exact.substr(0, e), "1", exact.substr(e)));
    }
}

// Midpoints written with few digits, from 2^0 to 2^24, where half a unit is
// 2^-24 to 1/2: exactly (ties to even), one in the last digit below, and a
// digit more above. With few fraction digits, the fast conversion meets such ties.
void check_short_midpoints() {
    char text[64];
    for (int i = 0; i < 3000; ++i) {
        const int scale = random_below(25);  // the midpoint lies in [2^scale, 2^(scale + 1))
        const auto fraction = static_cast<std::uint32_t>(next_random()) & 0x7fffffu;
        const double midpoint = std::ldexp(
            static_cast<double>((std::uint64_t{1} << 24) | (2 * fraction + 1)), scale - 24);
        const int decimals = 24 - scale;
        std::snprintf(text, sizeof text, "%.*f", decimals, midpoint);
        const std::string exact(text);
        check(exact);
        check(exact + "1");
        std::snprintf(text, sizeof text, "%.*f", decimals, midpoint - std::pow(10.0, -decimals));
        check(text);
    }
}

// Hexadecimal mantissas of 1 to 24 digits with the point anywhere and
// exponents reaching the subnormals and beyond both ends.
void check_hexadecimal() {
    static constexpr char hex_digits[] = "0123456789abcdefABCDEF";
    for (int i = 0; i < 3000; ++i) {
        const int length = 1 + random_below(24);
        std::string mantissa;
        for (int d = 0; d < length; ++d) mantissa += hex_digits[random_below(22)];
        mantissa = with_point(mantissa, random_below(length + 1));
        if (mantissa == ".") mantissa = "1.";
        check(with_sign(joined(random_below(2) == 0 ? "0x" : "0X", mantissa, "p",
                               std::to_string(random_below(330) - 230))));
    }
}

// Year counts: up to 30 digits, leading zeros, both ends of the 32-bit
// range and beyond, where the value saturates.
void check_integers() {
    for (int length = 1; length <= 30; ++length) {
        check(random_digits(length), token_kind::int_value);
        check(with_sign(joined(std::string(static_cast<std::size_t>(length), '0'), "12")),
              token_kind::int_value);
    }
    for (const char* token : {"2147483647", "2147483648", "-2147483648", "-2147483649",
                              "4294967296", "99999999999999999999"})
        check(token, token_kind::int_value);
}

}  // namespace

int main() {
    check_digit_runs();
    check_exponents();
    check_patterns();
    check_short_midpoints();
    check_hexadecimal();
    check_integers();
    std::printf(
        "scanner check: %llu tokens, %llu scans, %llu platform strtof hexadecimal faults "
        "overruled, %llu mismatches\n",
        static_cast<unsigned long long>(counts.tokens),
        static_cast<unsigned long long>(counts.scans),
        static_cast<unsigned long long>(counts.hex_faults_overruled),
        static_cast<unsigned long long>(counts.mismatches));
    return counts.mismatches == 0 ? 0 : 1;
}
