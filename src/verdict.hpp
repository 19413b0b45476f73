// The answer for one stored record, and the answer lines, "YES" or "NO",
// written into a buffer one row at a time.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "binary32.hpp"
#include "extended.hpp"
#include "records.hpp"

// Whether this platform's long double is the format the verdict is defined in.
inline constexpr bool long_double_is_x86_extended =
    std::numeric_limits<long double>::digits == 64 &&
    std::numeric_limits<long double>::max_exponent == 16384;

// The rule computed in the platform's long double. It is the verdict only
// where long double is the x86 extended format; elsewhere record_verdict
// uses extended_verdict (extended.hpp). Inline, as the answer loop's body.
inline bool long_double_verdict(float base, float monthly, std::int32_t years, float percent) {
    // The twelvefold of any stored year count (below 2^35) is exact in the
    // 64-bit significand, and the total is rounded once.
    const long double months = static_cast<long double>(years) * 12.0L;
    const long double total = static_cast<long double>(monthly) * months;
    // Three roundings, in this order and grouping; regrouping would change
    // the answers near ties.
    const long double base_value = base;
    const long double fraction = static_cast<long double>(percent) / 100.0L;
    const long double increase = base_value * fraction;
    const long double threshold = base_value + increase;
    return total > threshold;
}

// True when the monthly amount, counted twelve times for each of the years,
// is more than the base amount raised by the percentage.
inline bool record_verdict(const record_table& table, std::int32_t row) {
    const float base = table.base_amount[row];
    const float monthly = table.monthly_amount[row];
    const std::int32_t years = table.years[row];
    const float percent = table.percent[row];
    // A row with an infinity or a NaN is answered in binary64, as in the
    // extended format: with none of the values zero, every finite step
    // stays finite and nonzero in both (|total| < 2^163, |fraction| >
    // 2^-156, 2^-305 < |increase| < 2^256), so both have the same
    // infinities and NaNs, and a comparison with either does not depend on
    // the finite side's last bits. x86 processors can take a hundred times
    // longer over x87 arithmetic on infinities and NaNs.
    const auto finite = [](float value) {
        return (std::bit_cast<std::uint32_t>(value) & binary32_infinity) != binary32_infinity;
    };
    if (!finite(base) || !finite(monthly) || !finite(percent)) {
        const double total = static_cast<double>(monthly) * (static_cast<double>(years) * 12.0);
        return total > base + base * (static_cast<double>(percent) / 100.0);
    }
    // Elsewhere (binary128 or binary64 long double) the hardware rounds
    // differently near ties, so the answers come from integer arithmetic.
    if constexpr (long_double_is_x86_extended)
        return long_double_verdict(base, monthly, years, percent);
    return extended_verdict(base, monthly, years, percent);
}

// The two answers, each copied as four bytes (the fourth of "NO\n" is
// overwritten by the next answer).
inline constexpr char answer_texts[2][5] = {"NO\n\n", "YES\n"};
inline constexpr unsigned long answer_lengths[2] = {3, 4};

// Answers rows `row` to `stop` - 1 from `length` on; returns the new length.
inline unsigned long answer_one_at_a_time(const record_table& table, unsigned char* answers,
                                          std::int32_t row, unsigned long length,
                                          std::int32_t stop) {
    for (; row < stop; ++row) {
        const int yes = record_verdict(table, row) ? 1 : 0;
        // NOLINTNEXTLINE(bugprone-not-null-terminated-result): answers are bytes, not a string.
        std::memcpy(answers + length, answer_texts[yes], 4);
        length += answer_lengths[yes];
    }
    return length;
}

// The answers of four rows from `first` on where binary64 makes them
// certain: the rows decided (bit k for row first + k), and in `yes` those
// answered YES. An answer is certain where the total and the threshold in
// binary64 differ by more than the rounding of both computations (in
// binary64 here, in the extended format for the verdict) can explain: at
// most 3.1 (2^-53 + 2^-64) times |total| + |base| + |increase|. The bound
// used, 2^-50 times that sum, is more than twice as large, and covers the
// rounding of the test itself. Where the platform computes binary64 in the
// x87 format, each step is rounded less, or twice within that bound. The
// float inputs, their products and quotients never overflow or underflow in
// binary64, so the bound is infinite or a NaN exactly for a row with an
// infinity or a NaN, which binary64 answers as the verdict does.
inline unsigned certain_verdicts_one_at_a_time(const record_table& table, std::int32_t first,
                                               unsigned& yes) {
    unsigned decided = 0;
    yes = 0;
    for (int k = 0; k < 4; ++k) {
        const double base = table.base_amount[first + k];
        const double total = static_cast<double>(table.monthly_amount[first + k]) *
                             (static_cast<double>(table.years[first + k]) * 12.0);
        const double increase = base * (static_cast<double>(table.percent[first + k]) / 100.0);
        const double threshold = base + increase;
        const double difference = total - threshold;
        const double bound = (std::fabs(total) + std::fabs(base) + std::fabs(increase)) * 0x1p-50;
        const bool special = !(bound < std::numeric_limits<double>::infinity());
        decided |= (special || difference > bound || -difference > bound ? 1U : 0U) << k;
        yes |= (special ? total > threshold : difference > bound) ? 1U << k : 0U;
    }
    return decided;
}

// The answers of four rows by their YES bits (row k in bit k): at most 16
// bytes, stored as 16 either way.
struct four_answers {
    unsigned char text[16];
    unsigned long length;
};

inline constexpr std::array<four_answers, 16> four_answer_texts = [] {
    std::array<four_answers, 16> texts{};
    for (unsigned yes = 0; yes < 16; ++yes)
        for (unsigned k = 0; k < 4; ++k)
            for (unsigned long c = 0; c < answer_lengths[yes >> k & 1]; ++c)
                texts[yes].text[texts[yes].length++] =
                    static_cast<unsigned char>(answer_texts[yes >> k & 1][c]);
    return texts;
}();

// Every answered row, four at a time where the kernel's binary64 makes
// their answers certain (nearly always), else by the rule itself; returns
// the length written.
template <typename kernel>
[[gnu::always_inline]] inline unsigned long answer_four_at_a_time(const record_table& table,
                                                                  unsigned char* answers) {
    unsigned long length = 0;
    std::int32_t row = 0;
    for (; row + 4 <= table.record_count - 1; row += 4) {
        unsigned yes = 0;
        if (kernel::certain_verdicts(table, row, yes) == 0xf) {
            const four_answers& texts = four_answer_texts[yes];
            std::memcpy(answers + length, texts.text, sizeof texts.text);
            length += texts.length;
        } else {
            length = answer_one_at_a_time(table, answers, row, length, row + 4);
        }
    }
    return answer_one_at_a_time(table, answers, row, length, table.record_count - 1);
}
