// The verdict rule: a table of hand-derived cases, and generated records
// checked against an exact model of the rule that does its own rounding in
// integer arithmetic (no long double anywhere), so it shares no code path
// with record_verdict.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "records.hpp"
#include "verdict.hpp"

namespace {

constexpr float inf = std::numeric_limits<float>::infinity();
constexpr float nan_value = std::numeric_limits<float>::quiet_NaN();
constexpr std::int32_t int32_max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t int32_min = std::numeric_limits<std::int32_t>::min();
constexpr bool long_double_is_extended = std::numeric_limits<long double>::digits == 64;

struct record {
    float base_amount;
    float monthly_amount;
    std::int32_t years;
    float percent;
};

std::string describe(const record& r) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "base %a, monthly %a, years %d, percent %a (%.9g %.9g %d %.9g)",
                  static_cast<double>(r.base_amount), static_cast<double>(r.monthly_amount),
                  r.years, static_cast<double>(r.percent), static_cast<double>(r.base_amount),
                  static_cast<double>(r.monthly_amount), r.years, static_cast<double>(r.percent));
    return text;
}

// The table is 160 KB: one for the whole program.
record_table& shared_table() {
    static record_table table;
    return table;
}

bool verdict_of(const record& r) {
    record_table& table = shared_table();
    table.base_amount[0] = r.base_amount;
    table.monthly_amount[0] = r.monthly_amount;
    table.years[0] = r.years;
    table.percent[0] = r.percent;
    table.record_count = 2;
    return record_verdict(table, 0);
}

// ---------------------------------------------------------------------------
// Exact model: numbers are sign * magnitude * 2^exponent with an integer
// magnitude; every step of the rule is done exactly and then rounded to a
// 64-bit significand, to nearest, ties to even. For finite binary32 inputs
// no step leaves the normal range of the extended format, so no exponent
// limit is modelled.

__extension__ typedef unsigned __int128 wide;

struct exact_number {
    bool negative;
    wide magnitude;
    int exponent;
};

int bit_length(wide x) {
    int length = 0;
    while (x != 0) {
        ++length;
        x >>= 1;
    }
    return length;
}

exact_number exact_float(float value) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
    const bool negative = (bits >> 31) != 0;
    const int biased = static_cast<int>((bits >> 23) & 0xff);
    const std::uint32_t fraction = bits & 0x7fffff;
    if (biased == 0) return {negative, fraction, -149};
    return {negative, fraction | 0x800000u, biased - 150};
}

// `sticky` says the true value lies strictly above magnitude * 2^exponent
// (within one unit); callers give more than 64 bits whenever it is set.
exact_number round_to_extended(bool negative, wide magnitude, int exponent, bool sticky) {
    const int length = bit_length(magnitude);
    if (length <= 64) return {negative, magnitude, exponent};
    int dropped = length - 64;
    wide kept = magnitude >> dropped;
    const wide rest = magnitude - (kept << dropped);
    const wide half = wide{1} << (dropped - 1);
    const bool round_up = rest > half || (rest == half && (sticky || (kept & 1) != 0));
    if (round_up) {
        ++kept;
        if (bit_length(kept) > 64) {
            kept >>= 1;
            ++dropped;
        }
    }
    return {negative, kept, exponent + dropped};
}

exact_number divided_by_hundred(const exact_number& x) {
    if (x.magnitude == 0) return x;
    // Well over 64 quotient bits, so the remainder only decides the sticky bit.
    const int shift = 127 - bit_length(x.magnitude);
    const wide numerator = x.magnitude << shift;
    return round_to_extended(x.negative, numerator / 100, x.exponent - shift, numerator % 100 != 0);
}

exact_number multiplied(const exact_number& a, const exact_number& b) {
    // At most 24 + 64 bits: exact before the rounding.
    return round_to_extended(a.negative != b.negative, a.magnitude * b.magnitude,
                             a.exponent + b.exponent, false);
}

exact_number added(const exact_number& a, const exact_number& b) {
    if (a.magnitude == 0) return b;
    if (b.magnitude == 0) return a;
    const int top_a = a.exponent + bit_length(a.magnitude);
    const int top_b = b.exponent + bit_length(b.magnitude);
    const exact_number& high = top_a >= top_b ? a : b;
    const exact_number& low = top_a >= top_b ? b : a;
    // Units of 2^unit with the higher operand in bits 36..99: it stays
    // exact, the lower one may lose bits below the unit.
    const int unit = std::max(top_a, top_b) - 100;
    const wide high_units = high.magnitude << (high.exponent - unit);
    wide low_units = 0;
    bool lost = false;
    if (low.exponent >= unit) {
        low_units = low.magnitude << (low.exponent - unit);
    } else if (unit - low.exponent >= 128) {
        lost = true;
    } else {
        const int shift = unit - low.exponent;
        low_units = low.magnitude >> shift;
        lost = (low_units << shift) != low.magnitude;
    }
    if (high.negative == low.negative)
        return round_to_extended(high.negative, high_units + low_units, unit, lost);
    // A lost part makes the low operand a little larger: high - (low + part)
    // = (high - low - 1) + (1 - part). Bits are lost only when the operands
    // are far apart, so the difference keeps over 64 bits.
    if (lost) return round_to_extended(high.negative, high_units - low_units - 1, unit, true);
    if (high_units == low_units) return {false, 0, 0};
    if (high_units > low_units)
        return round_to_extended(high.negative, high_units - low_units, unit, false);
    return round_to_extended(low.negative, low_units - high_units, unit, false);
}

int compare(const exact_number& a, const exact_number& b) {
    const int sign_a = a.magnitude == 0 ? 0 : (a.negative ? -1 : 1);
    const int sign_b = b.magnitude == 0 ? 0 : (b.negative ? -1 : 1);
    if (sign_a != sign_b) return sign_a < sign_b ? -1 : 1;
    if (sign_a == 0) return 0;
    int by_magnitude = 0;
    const int top_a = a.exponent + bit_length(a.magnitude);
    const int top_b = b.exponent + bit_length(b.magnitude);
    if (top_a != top_b) {
        by_magnitude = top_a < top_b ? -1 : 1;
    } else {
        // Equal tops and at most 64 bits each: the shift stays below 64.
        wide aligned_a = a.magnitude, aligned_b = b.magnitude;
        if (a.exponent > b.exponent) aligned_a <<= a.exponent - b.exponent;
        if (b.exponent > a.exponent) aligned_b <<= b.exponent - a.exponent;
        by_magnitude = aligned_a == aligned_b ? 0 : (aligned_a < aligned_b ? -1 : 1);
    }
    return sign_a > 0 ? by_magnitude : -by_magnitude;
}

exact_number exact_threshold(const record& r) {
    const exact_number base = exact_float(r.base_amount);
    const exact_number fraction = divided_by_hundred(exact_float(r.percent));
    return added(base, multiplied(base, fraction));
}

exact_number exact_total(const record& r) {
    const std::int64_t months = std::int64_t{r.years} * 12;
    const exact_number monthly = exact_float(r.monthly_amount);
    const wide month_count = static_cast<wide>(months < 0 ? -months : months);
    return {monthly.negative != (months < 0), monthly.magnitude * month_count, monthly.exponent};
}

// For finite values only.
bool exact_verdict(const record& r) { return compare(exact_total(r), exact_threshold(r)) > 0; }

long double to_long_double(const exact_number& x) {
    const long double magnitude =
        std::ldexp(static_cast<long double>(static_cast<std::uint64_t>(x.magnitude)), x.exponent);
    return x.negative ? -magnitude : magnitude;
}

// ---------------------------------------------------------------------------
// Formulas the rule rules out. Each must disagree with the rule somewhere in
// the generated records, or those records could not tell it from the rule.

struct wrong_rule {
    const char* name;
    bool (*verdict)(const record&);
};

std::int64_t months_of(const record& r) { return std::int64_t{r.years} * 12; }

const wrong_rule wrong_rules[] = {
    {"single precision",
     [](const record& r) {
         volatile float total = r.monthly_amount * static_cast<float>(months_of(r));
         volatile float increase = r.base_amount * (r.percent / 100.0f);
         volatile float threshold = r.base_amount + increase;
         return total > threshold;
     }},
    {"double precision",
     [](const record& r) {
         const double total =
             static_cast<double>(r.monthly_amount) * static_cast<double>(months_of(r));
         const double base = r.base_amount;
         return total > base + base * (static_cast<double>(r.percent) / 100.0);
     }},
    {"base times (1 + fraction)",
     [](const record& r) {
         const long double total =
             static_cast<long double>(r.monthly_amount) * static_cast<long double>(months_of(r));
         const long double base = r.base_amount;
         return total > base * (1.0L + static_cast<long double>(r.percent) / 100.0L);
     }},
    {"base times percent, then divided",
     [](const record& r) {
         const long double total =
             static_cast<long double>(r.monthly_amount) * static_cast<long double>(months_of(r));
         const long double base = r.base_amount;
         return total > base + base * static_cast<long double>(r.percent) / 100.0L;
     }},
    {"at least instead of more",
     [](const record& r) {
         const long double total =
             static_cast<long double>(r.monthly_amount) * static_cast<long double>(months_of(r));
         const long double base = r.base_amount;
         return total >= base + base * (static_cast<long double>(r.percent) / 100.0L);
     }},
    {"months as a wrapping 32-bit product",
     [](const record& r) {
         const auto months = static_cast<std::int32_t>(static_cast<std::uint32_t>(r.years) * 12u);
         const long double total =
             static_cast<long double>(r.monthly_amount) * static_cast<long double>(months);
         const long double base = r.base_amount;
         return total > base + base * (static_cast<long double>(r.percent) / 100.0L);
     }},
    {"fraction rounded to double (a 100.0 divisor)",
     [](const record& r) {
         const long double total =
             static_cast<long double>(r.monthly_amount) * static_cast<long double>(months_of(r));
         const long double base = r.base_amount;
         const long double fraction = static_cast<double>(r.percent) / 100.0;
         return total > base + base * fraction;
     }},
};

// ---------------------------------------------------------------------------
// Generated records, drawn to fall close to the tie between the two sides.

struct record_source {
    std::mt19937_64 random;

    float random_bits_float() {
        for (;;) {
            const auto bits = static_cast<std::uint32_t>(random());
            const float value = std::bit_cast<float>(bits);
            if (std::isfinite(value) && value != 0) return value;
        }
    }
    std::int32_t random_years() {
        switch (random() % 4) {
        case 0:
            return static_cast<std::int32_t>(random() % 60) + 1;
        case 1:
            return -static_cast<std::int32_t>(random() % 60) - 1;
        case 2:
            return static_cast<std::int32_t>(random() % 178956970) + 1;
        default: {
            // Where the twelvefold leaves the 32-bit range.
            const auto magnitude =
                static_cast<std::int32_t>(178956971 + random() % (2147483647u - 178956971u));
            return random() % 2 == 0 ? magnitude : -magnitude;
        }
        }
    }
    // Monthly amounts within a few binary32 steps of the tie with the threshold.
    void add_near_tie(std::vector<record>& into, float base, std::int32_t years, float percent) {
        const long double threshold = to_long_double(exact_threshold({base, 1, years, percent}));
        const float tie = static_cast<float>(threshold / (static_cast<long double>(years) * 12));
        if (!std::isfinite(tie) || tie == 0) return;
        float monthly = tie;
        for (int step = 0; step < 2; ++step) monthly = std::nextafter(monthly, -inf);
        for (int step = 0; step < 5; ++step, monthly = std::nextafter(monthly, inf))
            if (monthly != 0 && std::isfinite(monthly))
                into.push_back({base, monthly, years, percent});
    }
};

// Decimal ties: whole bases and percentages with base * percent / 100 whole,
// and a monthly amount that matches the raised base exactly in decimal. Only
// the roundings of the rule decide these, which is where wrong groupings and
// precisions show.
std::vector<record> decimal_ties() {
    std::vector<record> records;
    for (int base = 1; base <= 3000; base += 7) {
        for (int percent = 1; percent <= 150; ++percent) {
            if (base * percent % 100 != 0) continue;
            const int raised = base + base * percent / 100;
            for (const int years : {1, 2, 3, 5}) {
                // raised / (12 years) must be a binary32 value: a whole number
                // of quarters is enough here.
                if (raised * 4 % (12 * years) != 0) continue;
                const float monthly = static_cast<float>(raised) / static_cast<float>(12 * years);
                records.push_back(
                    {static_cast<float>(base), monthly, years, static_cast<float>(percent)});
                records.push_back(
                    {static_cast<float>(-base), -monthly, years, static_cast<float>(percent)});
            }
        }
    }
    return records;
}

std::vector<record> generated_records(std::uint64_t seed) {
    record_source source{std::mt19937_64(seed)};
    std::vector<record> records = decimal_ties();
    for (int i = 0; i < 20000; ++i) {
        // Everyday amounts and percentages with up to two decimals.
        const float base = static_cast<float>(source.random() % 1000000) / 100.0f + 0.01f;
        const float percent =
            static_cast<float>(static_cast<int>(source.random() % 20000) - 2000) / 100.0f;
        if (percent == 0) continue;
        source.add_near_tie(records, base, source.random_years(), percent);
    }
    for (int i = 0; i < 20000; ++i) {
        // Any magnitudes, including raises far below the base's last bit.
        source.add_near_tie(records, source.random_bits_float(), source.random_years(),
                            source.random_bits_float());
    }
    for (int i = 0; i < 20000; ++i)
        records.push_back({source.random_bits_float(), source.random_bits_float(),
                           source.random_years(), source.random_bits_float()});
    return records;
}

std::uint64_t test_seed() {
    const char* text = std::getenv("SCREENING_TEST_SEED");
    return text != nullptr ? std::strtoull(text, nullptr, 0) : 0x5eed'2024'0611ull;
}

// ---------------------------------------------------------------------------

struct verdict_case {
    record values;
    bool verdict;
    const char* why;
};

// The rule's documented cases, and ones found while checking it.
const verdict_case verdict_cases[] = {
    {{100, 10, 1, 20}, false, "120 against 120: a tie is not more"},
    {{100, 10, 1, 19.99f}, true, "the threshold is just below 120"},
    {{120, 3.7f, 3, 11}, true, "3.7 is stored a little high; single precision would say NO"},
    {{1000, 91.67f, 1, 10}, true, "about 1100.04 against 1100"},
    {{1000, 91.66f, 1, 10}, false, "about 0.08 short of 1100"},
    {{100, 10, -1, 20}, false, "a negative year count gives a negative total"},
    {{-100, -10, 1, 20}, false, "-120 against -120: a tie"},
    {{-100, -9, 1, 20}, true, "-108 against -120"},
    {{120, nan_value, 3, 11}, false, "a NaN total is unordered"},
    {{120, inf, 3, 11}, true, "an infinite total exceeds a finite threshold"},
    {{120, inf, -3, 11}, false, "the total is negative infinity"},
    {{inf, 5, 1, 10}, false, "the threshold is infinite"},
    {{3e38f, 3e38f, 1000, 1}, true, "about 3.6e42 against about 3.03e38, neither side overflows"},
    {{1, 1, 200000000, 1}, true, "2.4e9 months: a 32-bit product would wrap to a negative count"},
    {{1, 1, int32_max, 1}, true, "the largest year count, as a saturated 3000000000 is stored"},
    {{1, -1, int32_min, 1},
     true,
     "the smallest year count: a 32-bit product would wrap to zero months"},
    {{1, 1, int32_min, 1}, false, "the smallest year count gives a huge negative total"},
    {{1, 1, 178956971, 1}, true, "the first year count whose twelvefold leaves 32 bits"},
    {{120, 10, 1, -1e-30f}, false, "the lowered base rounds back to 120: a tie after rounding"},
    {{120, 10, 1, 1e-30f}, false, "the raised base rounds back to 120"},
    {{120, 10.000001f, 1, 1e-30f}, true, "one binary32 step above the tie"},
    {{100, 10, 1, nan_value}, false, "a NaN threshold is unordered"},
    {{nan_value, 10, 1, 20}, false, "a NaN base is unordered"},
    {{100, 10, 1, inf}, false, "an infinite raise"},
    {{100, 10, 1, -inf}, true, "a base lowered to negative infinity"},
    {{-inf, 10, 1, 20}, true, "a negative infinite base"},
    {{-inf, 10, 1, -20},
     false,
     "a negative base lowered by a negative raise: -inf plus +inf is NaN"},
    {{inf, 10, 1, -200}, false, "infinity minus infinity is NaN"},
    {{100, 10, 1, -100}, true, "a raise of -100% leaves zero"},
    {{1e-45f, 1e-45f, 1, 1}, true, "the smallest subnormals: 12 steps against about 1.01 steps"},
    {{1e-45f, 1e-45f, 1, 1100},
     false,
     "12 steps against exactly 12 steps: 1100 / 100 is exactly 11"},
    {{1e-45f, 1e-45f, 1, 1099.99f}, true, "12 steps against a little under 12 steps"},
    {{3.4028235e38f, 3.4028235e38f, 1, -3.4028235e38f},
     true,
     "a raise of -3.4e36 times the largest base"},
    // Found by the generated records below: the hundredth part first, then
    // the product, gives YES; the product first, then the division, NO.
    {{-0x1.6b16p-61f, -0x1.c406cap-71f, -22, -0x1.08317p+7f},
     true,
     "a near-tie that only the order of rounding decides"},
};

}  // namespace

TEST(Verdict, DocumentedAndFoundCases) {
    for (const verdict_case& c : verdict_cases) {
        EXPECT_EQ(verdict_of(c.values), c.verdict) << describe(c.values) << ": " << c.why;
    }
}

// The model must give the table's answers itself before it may judge anything.
TEST(Verdict, ExactModelAgreesWithTheTable) {
    int checked = 0;
    for (const verdict_case& c : verdict_cases) {
        const record& r = c.values;
        if (!std::isfinite(r.base_amount) || !std::isfinite(r.monthly_amount) ||
            !std::isfinite(r.percent))
            continue;
        EXPECT_EQ(exact_verdict(r), c.verdict) << describe(r) << ": " << c.why;
        ++checked;
    }
    EXPECT_GE(checked, 20);
}

// Every step rounded to extended precision, checked step by step against the
// hardware on values where the hardware is the rule by definition.
TEST(Verdict, ExactModelRoundsLikeTheExtendedFormat) {
    if (!long_double_is_extended) GTEST_SKIP() << "long double is not the x86 extended format here";
    std::mt19937_64 random(test_seed());
    int mismatches = 0;
    for (int i = 0; i < 200000 && mismatches < 10; ++i) {
        const float base = std::bit_cast<float>(static_cast<std::uint32_t>(random()) & 0x7f7fffffu);
        const float percent =
            std::bit_cast<float>(static_cast<std::uint32_t>(random()) & 0xff7fffffu);
        if (!std::isfinite(base) || !std::isfinite(percent)) continue;
        const long double fraction = static_cast<long double>(percent) / 100.0L;
        const long double increase = static_cast<long double>(base) * fraction;
        const long double threshold = static_cast<long double>(base) + increase;
        const exact_number model_fraction = divided_by_hundred(exact_float(percent));
        const exact_number model_increase = multiplied(exact_float(base), model_fraction);
        const exact_number model_threshold = added(exact_float(base), model_increase);
        if (to_long_double(model_fraction) != fraction ||
            to_long_double(model_increase) != increase ||
            to_long_double(model_threshold) != threshold) {
            ++mismatches;
            ADD_FAILURE() << "base " << std::hexfloat << base << " percent " << percent;
        }
    }
}

TEST(Verdict, GeneratedRecordsFollowTheExactRule) {
    const std::uint64_t seed = test_seed();
    std::vector<record> records = generated_records(seed);
    // The table's finite cases too: some wrong rules show only on rare ties.
    for (const verdict_case& c : verdict_cases)
        if (std::isfinite(c.values.base_amount) && std::isfinite(c.values.monthly_amount) &&
            std::isfinite(c.values.percent))
            records.push_back(c.values);
    std::vector<int> told_apart(std::size(wrong_rules), 0);
    int mismatches = 0, yes_count = 0;
    for (const record& r : records) {
        const bool expected = exact_verdict(r);
        yes_count += expected ? 1 : 0;
        if (verdict_of(r) != expected && ++mismatches <= 20)
            ADD_FAILURE() << describe(r) << ": expected " << (expected ? "YES" : "NO") << " (seed "
                          << seed << ")";
        for (std::size_t k = 0; k < std::size(wrong_rules); ++k)
            if (wrong_rules[k].verdict(r) != expected) ++told_apart[k];
    }
    EXPECT_EQ(mismatches, 0) << "of " << records.size() << " records (seed " << seed << ")";
    // Both answers must be common, or the records say little.
    EXPECT_GT(yes_count, static_cast<int>(records.size() / 5));
    EXPECT_LT(yes_count, static_cast<int>(records.size() * 4 / 5));
    // The wrong rules are written in long double, which means the extended
    // format only on x86.
    for (std::size_t k = 0; k < std::size(wrong_rules) && long_double_is_extended; ++k)
        EXPECT_GT(told_apart[k], 0) << "no generated record tells \"" << wrong_rules[k].name
                                    << "\" from the rule (seed " << seed << ")";
}

// Only the row asked about is read: the others may hold anything.
TEST(Verdict, ReadsOnlyItsOwnRow) {
    static record_table table;
    const record cases[] = {
        {100, 10, 1, 20}, {1000, 91.67f, 1, 10}, {-100, -9, 1, 20}, {120, nan_value, 3, 11}};
    for (std::int32_t row = 0; row < 4; ++row) {
        table.base_amount[row] = cases[row].base_amount;
        table.monthly_amount[row] = cases[row].monthly_amount;
        table.years[row] = cases[row].years;
        table.percent[row] = cases[row].percent;
    }
    table.record_count = 5;
    const bool expected[] = {false, true, true, false};
    for (std::int32_t row = 0; row < 4; ++row)
        EXPECT_EQ(record_verdict(table, row), expected[row]) << "row " << row;
    // The last row of the table too.
    table.base_amount[max_records - 1] = 100;
    table.monthly_amount[max_records - 1] = 10;
    table.years[max_records - 1] = 1;
    table.percent[max_records - 1] = 19.99f;
    EXPECT_TRUE(record_verdict(table, max_records - 1));
}
