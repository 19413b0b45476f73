// The integer model of the verdict's arithmetic (extended.hpp), which gives
// every platform the answers of the x86 extended format:
// - a table of records whose answers were derived by hand or with exact
//   rational arithmetic, through the model, record_verdict and the program;
// - on x86, each operation and a one-million-record sample of the sweep's
//   generator against the x87 hardware, bit for bit;
// - the stored answer file (tests/data/verdict_records.*), through the
//   program and through the model.
//
// The program tests honour SCREENING_BINARY, so the same checks run the
// cross-built program under an emulator (make test-aarch64).
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "../tools/verdict_cases.hpp"
#include "extended.hpp"
#include "kernels/avx2.hpp"
#include "kernels/kernel.hpp"
#include "kernels/neon.hpp"
#include "memory_input.hpp"
#include "process.hpp"
#include "records.hpp"
#include "uint128.hpp"
#include "verdict.hpp"

namespace {

float value_of(const char* text) { return std::strtof(text, nullptr); }

struct table_case {
    const char* base;
    const char* monthly;
    std::int32_t years;
    const char* percent;
    bool yes;
    const char* why;
};

// Where a tie decides, the answer comes from exact rational arithmetic with
// the three roundings to 64 significant bits done by hand, not from any
// platform.
const table_case verdict_table[] = {
    // The rule's own examples.
    {"100", "10", 1, "20", false, "120 against 120: a tie is not more"},
    {"100", "10", 1, "19.99", true, "the threshold is just below 120"},
    {"120", "3.7", 3, "11", true,
     "3.7 is stored slightly above 3.7: 133.20000171661376953125 > 133.2"},
    {"1000", "91.67", 1, "10", true, "about 1100.04 against 1100"},
    {"1000", "91.66", 1, "10", false, "about 1099.92 against 1100"},
    {"100", "10", -1, "20", false, "a negative total"},
    {"-100", "-10", 1, "20", false, "-120 against -120"},
    {"-100", "-9", 1, "20", true, "-108 against -120"},
    {"120", "nan", 3, "11", false, "unordered"},
    {"120", "inf", 3, "11", true, "an infinite total"},
    {"120", "inf", -3, "11", false, "the total is -inf"},
    {"inf", "5", 1, "10", false, "the threshold is infinite"},
    {"3e38", "3e38", 1000, "1", true, "3.6e42 against 3.03e38; nothing overflows"},
    // Exact ties that the roundings move: b (100 + p) / 100 equals 12 m y
    // exactly, but the computed threshold lands one ulp beside it.
    {"75", "21", 1, "236", true, "252 exactly; the threshold is 252 - 2^-56"},
    {"75", "7", 3, "236", true, "the same total from other factors"},
    {"75", "1.75", 12, "236", true, "the same total from other factors"},
    {"45", "19.5", 1, "420", true, "234 exactly; the threshold is 234 - 2^-56"},
    {"75", "33", 1, "428", false, "396 exactly; the threshold is 396 + 2^-55"},
    {"-75", "-21", 1, "236", false, "rounding is symmetric: -252 against -252 + 2^-56"},
    {"-75", "-33", 1, "428", true, "-396 against -396 - 2^-55"},
    // Infinities and NaNs in every place.
    {"inf", "5", 1, "-100", false, "inf + (-inf): the threshold is NaN"},
    {"inf", "inf", 1, "-100", false, "inf + (-inf): the threshold is NaN"},
    {"-inf", "5", 1, "10", true, "the threshold is -inf"},
    {"-inf", "-inf", 1, "10", false, "-inf against -inf"},
    {"-inf", "-inf", 1, "-200", false, "-inf + inf: NaN"},
    {"5", "5", 1, "inf", false, "the threshold is inf"},
    {"5", "inf", 1, "inf", false, "inf against inf"},
    {"-5", "1", 1, "inf", true, "the threshold is -inf"},
    {"5", "-1", 1, "-inf", true, "the threshold is -inf"},
    {"-5", "1", 1, "-inf", false, "the threshold is +inf"},
    {"nan", "5", 1, "10", false, "unordered"},
    {"5", "5", 1, "nan", false, "unordered"},
    {"-nan", "inf", 1, "10", false, "unordered"},
    {"5", "inf", -178956971, "10", false, "-inf total"},
    // Zeros, which close a list in the input but have their arithmetic here.
    {"0", "5", 1, "inf", false, "0 * inf is NaN"},
    {"-0", "1", 1, "20", true, "12 against -0"},
    {"-0", "-1", 1, "20", false, "-12 against -0"},
    {"-0", "-0", 1, "-0", false, "-0 against -0"},
    {"0", "-0", 1, "5", false, "-0 against +0"},
    {"-1", "5", 0, "10", true, "a zero total against -1.1"},
    {"1", "inf", 0, "10", false, "inf * 0 is NaN"},
    {"5", "1", 1, "-0", true, "5 + (-0) is 5"},
    // percent -100: the increase cancels the base, exactly to +0.
    {"7", "1e-45", 1, "-100", true, "the threshold is +0"},
    {"-7", "1e-45", 1, "-100", true, "the threshold is +0, not -0"},
    {"7", "-1e-45", 1, "-100", false, "a negative total against +0"},
    // Subnormal amounts: the format's range keeps every step exact or
    // correctly rounded.
    {"1e-45", "1e-45", 1, "1100", false, "12 * 2^-149 on both sides"},
    {"1e-45", "1e-45", 1, "1099.99", true, "the threshold is just below 12 * 2^-149"},
    {"1e-45", "1e-45", 1, "1100.01", false, "the threshold is just above 12 * 2^-149"},
    {"-1e-45", "-1e-45", 1, "1100", false, "-12 * 2^-149 on both sides"},
    {"1.7e-44", "1e-45", 1, "-1e-45", false,
     "the increase, about -2^-301, is far below the base's last bit: base + increase rounds back "
     "to the base"},
    {"1.7e-44", "1e-45", 1, "1e-45", false, "the same, from above"},
};

std::string describe(const table_case& row) {
    return std::string(row.base) + " " + row.monthly + " " + std::to_string(row.years) + " " +
           row.percent + " (" + row.why + ")";
}

// The model holds finite values only: a row with an infinity or a NaN is
// answered in binary64.
TEST(VerdictTable, ModelGivesTheDerivedAnswers) {
    for (const table_case& row : verdict_table) {
        const verdict_record record{value_of(row.base), value_of(row.monthly), row.years,
                                    value_of(row.percent)};
        if (!finite_record(record)) continue;
        EXPECT_EQ(extended_verdict(record.base, record.monthly, record.years, record.percent),
                  row.yes)
            << describe(row);
    }
}

TEST(VerdictTable, RecordVerdictGivesTheDerivedAnswers) {
    auto table = std::make_unique<record_table>();
    std::int32_t row_count = 0;
    for (const table_case& row : verdict_table) {
        table->base_amount[row_count] = value_of(row.base);
        table->monthly_amount[row_count] = value_of(row.monthly);
        table->years[row_count] = row.years;
        table->percent[row_count] = value_of(row.percent);
        ++row_count;
    }
    table->record_count = row_count;
    for (std::int32_t row = 0; row < row_count; ++row)
        EXPECT_EQ(record_verdict(*table, row), verdict_table[row].yes)
            << describe(verdict_table[row]);
}

bool holds_zero(const table_case& row) {
    return value_of(row.base) == 0 || value_of(row.monthly) == 0 || row.years == 0 ||
           value_of(row.percent) == 0;
}

// The rows without a zero, as one list: the program scans the same texts.
TEST(VerdictTable, ProgramGivesTheDerivedAnswers) {
    std::string input;
    std::string expected;
    for (const table_case& row : verdict_table) {
        if (holds_zero(row)) continue;
        input += std::string(row.base) + " " + row.monthly + " " + std::to_string(row.years) + " " +
                 row.percent + "\n";
        expected += row.yes ? "YES\n" : "NO\n";
    }
    input += "0 0 0 0\n";
    const process_result result = run_screening(input);
    EXPECT_EQ(result.start_failure, "");
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.errors, "");
    EXPECT_EQ(result.output, expected);
}

// ---------------------------------------------------------------------------
// Against the x87 hardware.

#if defined(__x86_64__) || defined(__i386__)

std::string text_of(const extended& value) {
    char text[96];
    std::snprintf(text, sizeof text, "(%c %016llx p%d)", value.negative ? '-' : '+',
                  static_cast<unsigned long long>(value.significand),
                  static_cast<int>(value.exponent));
    return text;
}

void expect_same(const extended& model, long double hardware, const std::string& what) {
    const extended expected = extended_from_x87(hardware);
    if (!same_extended(model, expected))
        ADD_FAILURE() << what << ": model " << text_of(model) << ", hardware " << text_of(expected);
}

constexpr std::uint64_t top_bit = std::uint64_t{1} << 63;

extended finite(bool negative, std::uint64_t significand, std::int32_t exponent) {
    return {negative, significand | top_bit, exponent};
}

// Operands for every operation: zeros, the extreme significands, and the
// neighbours of powers of two.
std::vector<extended> special_operands() {
    std::vector<extended> values;
    for (const bool negative : {false, true}) {
        values.push_back({negative, 0, 0});
        for (const std::uint64_t significand :
             {top_bit, top_bit + 1, top_bit + 2, top_bit + 3, ~std::uint64_t{0},
              ~std::uint64_t{0} - 1, 0xc000000000000000u, 0xc800000000000000u, 0xaaaaaaaaaaaaaaabu})
            for (const std::int32_t exponent : {-63, -69, -200, 40, -130})
                values.push_back(finite(negative, significand, exponent));
    }
    return values;
}

// Random finite operands with exponents far from the hardware's limits.
extended random_finite(case_random& random, std::int32_t low_exponent, std::int32_t high_exponent) {
    std::uint64_t significand = next_random(random);
    // Short significands too, as binary32 values and small integers have.
    if (random_chance(random, 3)) significand &= ~std::uint64_t{0} << random_between(random, 1, 62);
    return finite(random_chance(random, 2), significand,
                  static_cast<std::int32_t>(random_between(random, low_exponent, high_exponent)));
}

TEST(ExtendedAgainstX87, FloatWideningIsExact) {
    // Every 4099th finite pattern covers all exponents and both signs.
    for (std::uint64_t bits = 0; bits <= 0xffffffffu; bits += 4099) {
        const float value = std::bit_cast<float>(static_cast<std::uint32_t>(bits));
        if (!std::isfinite(value)) continue;
        expect_same(extended_from_float(value), static_cast<long double>(value),
                    "widen " + std::to_string(bits));
    }
    for (const std::uint32_t bits :
         {0x00000000u, 0x80000000u, 0x00000001u, 0x807fffffu, 0x00800000u, 0x7f7fffffu}) {
        const float value = std::bit_cast<float>(bits);
        expect_same(extended_from_float(value), static_cast<long double>(value),
                    "widen " + std::to_string(bits));
    }
}

TEST(ExtendedAgainstX87, IntegerWideningIsExact) {
    for (const std::int64_t value :
         {std::int64_t{0}, std::int64_t{1}, std::int64_t{-1}, std::int64_t{12},
          std::int64_t{INT32_MIN} * 12, std::int64_t{INT32_MAX} * 12, std::int64_t{178956971} * 12,
          std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::min(),
          std::int64_t{1} << 62, -(std::int64_t{1} << 35) + 1})
        expect_same(extended_from_integer(value), static_cast<long double>(value),
                    "integer " + std::to_string(value));
}

TEST(ExtendedAgainstX87, DivisionByHundredIsCorrectlyRounded) {
    for (const extended& value : special_operands())
        expect_same(extended_divide_by_hundred(value), x87_from_extended(value) / 100.0L,
                    "divide " + text_of(value));
    case_random random{11};
    for (int trial = 0; trial < 300'000; ++trial) {
        const extended value = random_finite(random, -2000, 2000);
        expect_same(extended_divide_by_hundred(value), x87_from_extended(value) / 100.0L,
                    "divide " + text_of(value));
    }
    // Multiples of 25 and of 100 divide exactly.
    for (std::int64_t multiple = 1; multiple < 5000; ++multiple) {
        const extended value = extended_from_integer(multiple * 25);
        expect_same(extended_divide_by_hundred(value),
                    static_cast<long double>(multiple * 25) / 100.0L,
                    "divide " + std::to_string(multiple * 25));
    }
}

TEST(ExtendedAgainstX87, MultiplicationIsCorrectlyRounded) {
    const std::vector<extended> specials = special_operands();
    for (const extended& left : specials)
        for (const extended& right : specials)
            expect_same(extended_multiply(left, right),
                        x87_from_extended(left) * x87_from_extended(right),
                        "multiply " + text_of(left) + " " + text_of(right));
    case_random random{12};
    for (int trial = 0; trial < 300'000; ++trial) {
        const extended left = random_finite(random, -2000, 2000);
        const extended right = random_finite(random, -2000, 2000);
        expect_same(extended_multiply(left, right),
                    x87_from_extended(left) * x87_from_extended(right),
                    "multiply " + text_of(left) + " " + text_of(right));
    }
    // 3 * an odd significand below 2^65 / 3 has exactly 65 bits, the last
    // one set: exactly halfway, decided by the even neighbour.
    int halfway = 0;
    for (int trial = 0; trial < 100'000; ++trial) {
        const std::uint64_t odd = (top_bit | next_random(random)) | 1;
        if (odd >= 0xaaaaaaaaaaaaaaabu) continue;
        ++halfway;
        const extended three = finite(random_chance(random, 2), 0xc000000000000000u, -62);
        const extended right = finite(random_chance(random, 2), odd,
                                      static_cast<std::int32_t>(random_between(random, -100, 100)));
        expect_same(extended_multiply(three, right),
                    x87_from_extended(three) * x87_from_extended(right),
                    "multiply " + text_of(three) + " " + text_of(right));
    }
    EXPECT_GT(halfway, 10'000);
}

TEST(ExtendedAgainstX87, AdditionIsCorrectlyRounded) {
    const std::vector<extended> specials = special_operands();
    for (const extended& left : specials)
        for (const extended& right : specials)
            expect_same(extended_add(left, right),
                        x87_from_extended(left) + x87_from_extended(right),
                        "add " + text_of(left) + " " + text_of(right));
    // Every distance between the operands' exponents up to well past both
    // significands, both signs, and both orders.
    case_random random{13};
    for (int trial = 0; trial < 400'000; ++trial) {
        const extended left = random_finite(random, -1000, 1000);
        extended right = random_finite(random, 0, 0);
        right.exponent =
            left.exponent - static_cast<std::int32_t>(random_between(random, -140, 140));
        expect_same(extended_add(left, right), x87_from_extended(left) + x87_from_extended(right),
                    "add " + text_of(left) + " " + text_of(right));
    }
    // A smaller operand that lies entirely below the larger one's last bit
    // and exactly on, or next to, the halfway point of the bits dropped.
    for (const std::uint64_t larger :
         {top_bit, top_bit + 1, ~std::uint64_t{0}, 0xc000000000000000u})
        for (const std::uint64_t smaller :
             {top_bit, top_bit + 1, top_bit + 2, top_bit + 3, ~std::uint64_t{0}})
            for (int distance = 60; distance <= 200; ++distance)
                for (const bool opposite : {false, true}) {
                    const extended left = finite(false, larger, 0);
                    const extended right = finite(opposite, smaller, -distance);
                    expect_same(extended_add(left, right),
                                x87_from_extended(left) + x87_from_extended(right),
                                "add " + text_of(left) + " " + text_of(right));
                    expect_same(extended_add(right, left),
                                x87_from_extended(right) + x87_from_extended(left),
                                "add " + text_of(right) + " " + text_of(left));
                }
}

TEST(ExtendedAgainstX87, ComparisonIsOrdered) {
    std::vector<extended> values = special_operands();
    case_random random{14};
    for (int count = 0; count < 200; ++count) {
        const extended value = random_finite(random, -70, 70);
        values.push_back(value);
        extended neighbour = value;
        if (neighbour.significand == ~std::uint64_t{0})
            --neighbour.significand;
        else
            ++neighbour.significand;
        values.push_back(neighbour);
    }
    for (const extended& left : values)
        for (const extended& right : values)
            EXPECT_EQ(extended_greater(left, right),
                      x87_from_extended(left) > x87_from_extended(right))
                << text_of(left) << " > " << text_of(right);
}

// The sweep's generator, a sample of it: every intermediate value and the
// verdict. make sweep-verdict runs the same on a hundred million records.
TEST(ExtendedAgainstX87, GeneratedRecordsSample) {
    int shown = 0;
    std::uint64_t disagreements = 0;
    std::uint64_t per_family[record_family_count] = {};
    const auto one_row = std::make_unique<record_table>();
    for (std::uint64_t index = 0; index < 1'000'000; ++index) {
        record_family family{};
        const verdict_record record = make_record(7, index, family);
        ++per_family[static_cast<int>(family)];
        const verdict_steps hardware = x87_verdict_steps(record);
        store_verdict_record(*one_row, 0, record);
        const bool production = record_verdict(*one_row, 0);
        const verdict_steps model =
            finite_record(record)
                ? extended_verdict_steps(record.base, record.monthly, record.years, record.percent)
                : hardware;
        if (same_steps(model, hardware) && production == hardware.verdict) continue;
        ++disagreements;
        if (shown++ < 5) {
            print_record(stderr, record);
            std::fprintf(stderr, " (%s): record_verdict %s\n", family_name(family),
                         production ? "YES" : "NO");
            print_steps(stderr, "model", model);
            print_steps(stderr, "hardware", hardware);
        }
    }
    EXPECT_EQ(disagreements, 0u);
    for (int family = 0; family < record_family_count; ++family)
        EXPECT_GT(per_family[family], 50'000u) << family_name(static_cast<record_family>(family));
}

// The verdict's values stay inside (2^-305, 2^251), and the total below
// 2^163, for the most extreme inputs: far from the extended format's limits,
// so the unlimited exponent of the model changes nothing.
TEST(ExtendedAgainstX87, ExtremeInputsStayFarInsideTheRange) {
    const float extremes[] = {1e-45f,          -1e-45f, 1.17549435e-38f, 3.40282347e38f,
                              -3.40282347e38f, 1.0f,    -100.0f};
    const std::int32_t years[] = {1, -1, INT32_MAX, INT32_MIN};
    for (const float base : extremes)
        for (const float monthly : extremes)
            for (const std::int32_t year_count : years)
                for (const float percent : extremes) {
                    const verdict_record record{base, monthly, year_count, percent};
                    const verdict_steps model =
                        extended_verdict_steps(base, monthly, year_count, percent);
                    EXPECT_TRUE(same_steps(model, x87_verdict_steps(record)));
                    for (const extended& value :
                         {model.fraction, model.increase, model.threshold}) {
                        if (value.significand == 0) continue;
                        EXPECT_GE(value.exponent + 63, -305);
                        EXPECT_LE(value.exponent + 64, 251);
                    }
                    ASSERT_NE(model.total.significand, 0u);
                    EXPECT_LE(model.total.exponent + 64, 163);
                }
}

#endif

// ---------------------------------------------------------------------------
// The stored answer file: records in lists closed by "0 0 0 0", answered on
// x86 (tools/sweep_verdict --write-records).

std::string file_text(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

const std::string stored_records_path =
    std::string(SCREENING_SOURCE_DIR) + "/tests/data/verdict_records.txt";
const std::string stored_answers_path =
    std::string(SCREENING_SOURCE_DIR) + "/tests/data/verdict_records.out";

// The text of each list, its closing record included.
std::vector<std::string> stored_lists() {
    const std::string text = file_text(stored_records_path);
    std::vector<std::string> lists;
    const std::string closing = "0 0 0 0\n";
    std::size_t start = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t line_end = text.find('\n', at);
        if (line_end == std::string::npos) break;
        if (text.compare(at, line_end + 1 - at, closing) == 0) {
            lists.push_back(text.substr(start, line_end + 1 - start));
            start = line_end + 1;
        }
        at = line_end + 1;
    }
    return lists;
}

TEST(StoredAnswers, FileHoldsEnoughRecords) {
    const std::vector<std::string> lists = stored_lists();
    std::size_t records = 0;
    for (const std::string& list : lists)
        records += static_cast<std::size_t>(std::count(list.begin(), list.end(), '\n')) - 1;
    EXPECT_GE(records, 100'000u);
    const std::string answers = file_text(stored_answers_path);
    EXPECT_EQ(static_cast<std::size_t>(std::count(answers.begin(), answers.end(), '\n')), records);
}

TEST(StoredAnswers, ProgramGivesThemByteForByte) {
    const std::vector<std::string> lists = stored_lists();
    ASSERT_GT(lists.size(), 10u);
    std::string output;
    for (std::size_t list = 0; list < lists.size(); ++list) {
        const process_result result = run_screening(lists[list]);
        ASSERT_EQ(result.start_failure, "");
        ASSERT_TRUE(result.exited) << "list " << list;
        EXPECT_EQ(result.status, 0) << "list " << list;
        EXPECT_EQ(result.errors, "") << "list " << list;
        output += result.output;
    }
    const std::string expected = file_text(stored_answers_path);
    ASSERT_EQ(output.size(), expected.size());
    EXPECT_TRUE(output == expected) << "the program's answers differ from the stored ones";
}

// The model alone, on the records as the scanner reads them (those with an
// infinity or a NaN, which it does not hold, by binary64 as record_verdict).
TEST(StoredAnswers, ModelGivesThem) {
    const std::string text = file_text(stored_records_path);
    const std::string expected = file_text(stored_answers_path);
    auto input = std::make_unique<input_stream>();
    auto table = std::make_unique<record_table>();
    memory_input bytes = memory_bytes(text.data(), text.size());
    open_memory_input(*input, bytes);
    std::string answers;
    for (;;) {
        const read_outcome outcome = read_records(*table, *input);
        ASSERT_EQ(outcome.status, read_status::closed);
        for (std::int32_t row = 0; row < table->record_count - 1; ++row) {
            const verdict_record record{table->base_amount[row], table->monthly_amount[row],
                                        table->years[row], table->percent[row]};
            const bool yes = finite_record(record) ? extended_verdict(record.base, record.monthly,
                                                                      record.years, record.percent)
                                                   : record_verdict(*table, row);
            answers += yes ? "YES\n" : "NO\n";
        }
        if (table->record_count == 1) break;  // the end of the input
    }
    ASSERT_EQ(answers.size(), expected.size());
    EXPECT_TRUE(answers == expected);
}

// The answers taken in binary64 where they are certain, four rows at a time
// (the AVX2 kernel's) and one at a time (every other kernel's): each must be
// the rule's, in every family of generated records (near ties, cancellation
// and special values among them), and most rows must be decided there.
#if defined(SCREENING_AVX2)
[[SCREENING_AVX2_TARGET]] unsigned avx2_certain_verdicts(const record_table& table,
                                                         std::int32_t row, unsigned& yes) {
    return avx2_kernel::certain_verdicts(table, row, yes);
}
#endif

using certain_verdicts_of = unsigned (*)(const record_table&, std::int32_t, unsigned&);

void expect_certain_verdicts_of_the_rule(certain_verdicts_of certain_verdicts) {
    const auto table = std::make_unique<record_table>();
    std::uint64_t decided_per_family[record_family_count] = {};
    std::uint64_t per_family[record_family_count] = {};
    std::uint64_t disagreements = 0;
    record_family families[4] = {};
    for (std::uint64_t index = 0; index < 1'000'000; index += 4) {
        for (std::int32_t k = 0; k < 4; ++k) {
            store_verdict_record(
                *table, k, make_record(11, index + static_cast<std::uint64_t>(k), families[k]));
        }
        unsigned yes = 0;
        const unsigned decided = certain_verdicts(*table, 0, yes);
        for (std::int32_t k = 0; k < 4; ++k) {
            const int family = static_cast<int>(families[k]);
            ++per_family[family];
            if ((decided >> k & 1U) == 0) continue;
            ++decided_per_family[family];
            const bool rule = record_verdict(*table, k);
            if ((yes >> k & 1U) != (rule ? 1U : 0U) && disagreements++ < 5)
                ADD_FAILURE() << "row " << index + static_cast<std::uint64_t>(k) << " ("
                              << family_name(families[k]) << "): binary64 says "
                              << ((yes >> k & 1U) != 0 ? "YES" : "NO");
        }
    }
    EXPECT_EQ(disagreements, 0u);
    // Most random records are decided in binary64; exact ties are not.
    const int random_bits = static_cast<int>(record_family::random_bits);
    EXPECT_GT(decided_per_family[random_bits], per_family[random_bits] / 2);
    const int exact_tie = static_cast<int>(record_family::exact_tie);
    EXPECT_LT(decided_per_family[exact_tie], per_family[exact_tie]);
}

TEST(CertainVerdicts, AgreeWithTheRuleWhereTheyDecide) {
    expect_certain_verdicts_of_the_rule(certain_verdicts_one_at_a_time);
#if defined(SCREENING_AVX2)
    if (supported_kernel(processor_kernel::avx2) != nullptr)
        expect_certain_verdicts_of_the_rule(avx2_certain_verdicts);
#endif
#if defined(SCREENING_NEON)
    expect_certain_verdicts_of_the_rule(neon_kernel::certain_verdicts);
#endif
}

// ---------------------------------------------------------------------------
// The 128-bit arithmetic of the model and the conversion against the
// compiler's own 128-bit integers: the product from 32-bit pieces, which is
// what 32-bit targets run, and every other operation, on values of every
// width and on the edges where carries and borrows cross the halves.

__extension__ typedef unsigned __int128 native_uint128;

native_uint128 native_of(uint128 value) {
    return static_cast<native_uint128>(value.high) << 64 | value.low;
}

TEST(WideIntegers, AgreeWithTheCompilersOwn) {
    std::vector<std::uint64_t> values = {0,
                                         1,
                                         2,
                                         0xffff'ffff,
                                         0x1'0000'0000,
                                         0x8000'0000'0000'0000,
                                         ~std::uint64_t{0},
                                         ~std::uint64_t{0} - 1};
    std::uint64_t state = 12345;
    for (int i = 0; i < 2000; ++i) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        values.push_back(state >> (state % 64));
    }
    int failures = 0;
    for (std::size_t i = 0; i < values.size() && failures < 5; ++i) {
        const std::uint64_t a = values[i];
        const std::uint64_t b = values[(i * 7 + 3) % values.size()];
        const native_uint128 expected = static_cast<native_uint128>(a) * b;
        const uint128 x = wide_product_by_halves(a, b);
        const uint128 y = wide_product(b, a);
        const int bits = static_cast<int>(a % 128);
        const native_uint128 nx = native_of(x);
        const native_uint128 ny = native_of(y);
        const bool agree =
            nx == expected && ny == expected && native_of(wide_sum(x, y)) == nx + ny &&
            native_of(wide_difference(x, widen(b))) == nx - b &&
            native_of(wide_shift_left(x, bits)) == nx << bits &&
            native_of(wide_shift_right(x, bits)) == nx >> bits &&
            native_of(wide_low_bits(x, bits)) ==
                (nx & ((static_cast<native_uint128>(1) << bits) - 1)) &&
            native_of(wide_low_bits(x, 128)) == nx && wide_less(x, widen(b)) == (nx < b) &&
            wide_equal(x, y) && wide_is_zero(x) == (nx == 0) &&
            wide_bit_width(x) == (nx >> 64 != 0
                                      ? 128 - std::countl_zero(static_cast<std::uint64_t>(nx >> 64))
                                      : 64 - std::countl_zero(static_cast<std::uint64_t>(nx)));
        if (!agree && failures++ < 5)
            ADD_FAILURE() << std::hex << a << " * " << b << " by " << bits;
    }
}

}  // namespace
