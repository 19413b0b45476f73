// The read phase on input held in memory: what is stored, how the list ends,
// how far the input is consumed and how far the source is asked. Every input
// is read whole, one byte per piece and in random pieces, and the results
// must not depend on the pieces.
#include <gtest/gtest.h>

#include <bit>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "escaped.hpp"
#include "kernels/kernel.hpp"
#include "memory_input.hpp"
#include "records.hpp"
#include "scanner.hpp"

namespace {

using namespace std::string_literals;

// Values by their bits, so that -0 and NaNs compare exactly.
struct row_bits {
    std::uint32_t base_amount;
    std::uint32_t monthly_amount;
    std::int32_t years;
    std::uint32_t percent;
    bool operator==(const row_bits&) const = default;
};

std::uint32_t bits_of(float value) { return std::bit_cast<std::uint32_t>(value); }

// The platform's own conversions, as the oracle for single tokens.
std::uint32_t float_bits(const char* token) { return bits_of(std::strtof(token, nullptr)); }

std::int32_t year_value(const char* token) {
    const long value = std::strtol(token, nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

row_bits row(const char* base, const char* monthly, const char* years, const char* percent) {
    return {float_bits(base), float_bits(monthly), year_value(years), float_bits(percent)};
}

// A memory source that notes where the input stood at every request, and
// can fail with an errno once a given number of bytes has been given.
struct watched_input {
    memory_input bytes;
    std::vector<std::size_t> asked_at;  // position before each request
    std::size_t fail_at;                // SIZE_MAX: never
    int error;
    int interruptions_left;  // -EINTR answers before real ones
};

long fill_watched(void* context, unsigned char* into, unsigned long room) {
    auto& input = *static_cast<watched_input*>(context);
    input.asked_at.push_back(input.bytes.position);
    if (input.interruptions_left > 0 && input.bytes.position > 0) {
        --input.interruptions_left;
        return -EINTR;
    }
    if (input.bytes.position >= input.fail_at) return -input.error;
    if (input.fail_at != SIZE_MAX && room > input.fail_at - input.bytes.position)
        room = input.fail_at - input.bytes.position;
    return fill_from_memory(&input.bytes, into, room);
}

struct reading {
    read_outcome outcome;
    std::vector<row_bits> rows;  // record_count of them
    std::int64_t consumed;
    std::vector<std::size_t> asked_at;
    std::int64_t line = 0;  // the stream's line afterwards
};

struct read_options {
    std::size_t fail_at = SIZE_MAX;
    int error = EIO;
    int interruptions = 0;
};

// The line is only meaningful for a list that did not close normally, the
// column for a value that is not a number.
bool same_outcome(const read_outcome& a, const read_outcome& b) {
    const bool line_matters = a.status != read_status::closed;
    const bool column_matters = a.status == read_status::not_a_number;
    return a.status == b.status && (!line_matters || a.line == b.line) &&
           (!column_matters || a.column == b.column) && a.record_number == b.record_number &&
           a.value_position == b.value_position && a.read_error == b.read_error;
}

// With a kernel's entry, read_records with that kernel; else with the chosen one.
reading read_with_pieces_using(const kernel_entry* kernel, std::string_view text,
                               const std::vector<std::size_t>& pieces,
                               const read_options& options) {
    static input_stream stream;
    static record_table table;
    // A value no input here writes: whatever is checked was stored by this reading.
    for (std::int32_t r = 0; r < max_records; ++r) {
        table.base_amount[r] = 7.5f;
        table.monthly_amount[r] = 7.5f;
        table.years[r] = 7;
        table.percent[r] = 7.5f;
    }
    table.record_count = -5;
    watched_input input{memory_bytes(text.data(), text.size(),
                                     pieces.empty() ? nullptr : pieces.data(), pieces.size()),
                        {},
                        options.fail_at,
                        options.error,
                        options.interruptions};
    open_input(stream, {fill_watched, &input});
    const read_outcome outcome =
        kernel != nullptr ? read_records(table, stream, *kernel) : read_records(table, stream);
    reading result{outcome, {}, consumed_count(stream), std::move(input.asked_at)};
    result.line = stream.line;
    for (std::int32_t r = 0; r < table.record_count && r < max_records; ++r)
        result.rows.push_back({bits_of(table.base_amount[r]), bits_of(table.monthly_amount[r]),
                               table.years[r], bits_of(table.percent[r])});
    return result;
}

// Reads with read_records and with every other kernel this processor runs:
// they must agree in everything, to the stream's line count.
reading read_with_pieces(std::string_view text, const std::vector<std::size_t>& pieces,
                         const read_options& options = {}) {
    const reading chosen = read_with_pieces_using(nullptr, text, pieces, options);
    for (const kernel_entry& kernel : build_kernels()) {
        if (!kernel.supported()) continue;
        const reading other = read_with_pieces_using(&kernel, text, pieces, options);
        const bool same = same_outcome(other.outcome, chosen.outcome) &&
                          other.outcome.line == chosen.outcome.line && other.rows == chosen.rows &&
                          other.consumed == chosen.consumed && other.asked_at == chosen.asked_at &&
                          other.line == chosen.line;
        EXPECT_TRUE(same) << "the " << kernel.name << " kernel differs on \"" << escaped(text)
                          << "\"";
    }
    return chosen;
}

std::string describe(const read_outcome& o) {
    static const char* const names[] = {"closed", "not_a_number", "ends_inside_record",
                                        "too_many_records", "read_failed"};
    return std::string(names[static_cast<int>(o.status)]) + " line " + std::to_string(o.line) +
           " record " + std::to_string(o.record_number) + " value " +
           std::to_string(o.value_position) + " errno " + std::to_string(o.read_error);
}

// Once the bytes up to and including the one after the last consumed
// character are in the buffer, the source must not be asked again, except
// for one request that finds the end when everything was consumed.
void expect_no_request_beyond_need(const reading& r, std::size_t size, const std::string& context) {
    const auto consumed = static_cast<std::size_t>(r.consumed);
    const std::size_t needed = consumed < size ? consumed + 1 : size;
    int late_requests = 0;
    for (const std::size_t position : r.asked_at) late_requests += position >= needed ? 1 : 0;
    EXPECT_LE(late_requests, consumed == size ? 1 : 0)
        << context << ": the source was asked again after byte " << needed;
}

// Reads the text whole, one byte per piece and in random pieces; all must
// agree, and the reading of the whole text is returned.
reading read_every_way(std::string_view text, std::uint64_t seed = 1) {
    const std::string context = "input \"" + escaped(text) + "\"";
    reading whole = read_with_pieces(text, {});
    expect_no_request_beyond_need(whole, text.size(), context + " (whole)");
    std::mt19937_64 random(seed);
    std::vector<std::vector<std::size_t>> piece_plans = {{1}};
    for (int plan = 0; plan < 3; ++plan) {
        std::vector<std::size_t> sizes;
        for (int i = 0; i < 37; ++i) sizes.push_back(1 + random() % (plan == 2 ? 70000 : 9));
        piece_plans.push_back(sizes);
    }
    for (const auto& pieces : piece_plans) {
        const reading in_pieces = read_with_pieces(text, pieces);
        const std::string where = context + " in pieces of " + std::to_string(pieces[0]) + ", ...";
        EXPECT_TRUE(same_outcome(in_pieces.outcome, whole.outcome))
            << where << ": " << describe(in_pieces.outcome) << " against "
            << describe(whole.outcome);
        EXPECT_EQ(in_pieces.rows.size(), whole.rows.size()) << where;
        EXPECT_TRUE(in_pieces.rows == whole.rows) << where;
        EXPECT_EQ(in_pieces.consumed, whole.consumed) << where;
        expect_no_request_beyond_need(in_pieces, text.size(), where);
    }
    return whole;
}

// Rows before the last hold four nonzero values; there is at least one row.
void expect_invariant(const reading& r, const std::string& context) {
    ASSERT_GE(r.rows.size(), 1u) << context;
    for (std::size_t k = 0; k + 1 < r.rows.size(); ++k) {
        const row_bits& stored = r.rows[k];
        EXPECT_TRUE(std::bit_cast<float>(stored.base_amount) != 0 &&
                    std::bit_cast<float>(stored.monthly_amount) != 0 && stored.years != 0 &&
                    std::bit_cast<float>(stored.percent) != 0)
            << context << ": row " << k << " has a zero value";
    }
}

// ---------------------------------------------------------------------------
// Lists closed by a zero, or by the end of input between records. The
// answered rows are checked in full, the closing row when given.

struct list_case {
    const char* name;
    std::string text;
    std::vector<row_bits> answered;
    std::optional<row_bits> closing;
    std::int64_t consumed;  // -1: the whole text
};

// 2^-150 exactly, in decimal: a tie between zero and the smallest subnormal.
const std::string half_smallest_subnormal_digits =
    "7."
    "0064923216240853546186479164495806564013097093825788587853414194489554134293030074331909418106"
    "0791015625";

std::vector<list_case> list_cases() {
    return {
        {"terminator only", "0 0 0 0", {}, row("0", "0", "0", "0"), -1},
        {"zero monthly amount first",
         "5 0 3 2\n1 1 1 1\n0 0 0 0\n",
         {},
         row("5", "0", "3", "2"),
         7},
        {"zero years", "100 10 0 20\n", {}, row("100", "10", "0", "20"), 11},
        {"zero percent", "100 10 1 0 1 1 1 1", {}, row("100", "10", "1", "0"), 10},
        {"zero base after a record",
         "1 2 3 4\n0 5 6 7\n",
         {row("1", "2", "3", "4")},
         row("0", "5", "6", "7"),
         15},
        {"minus zero base", "-0 10 1 20", {}, row("-0", "10", "1", "20"), -1},
        {"minus zero point zero", "100 -0.0 1 20", {}, row("100", "-0.0", "1", "20"), -1},
        {"minus zero years", "100 10 -0 20", {}, row("100", "10", "0", "20"), -1},
        {"long minus zeros",
         "1 2 3 4\n-0.000000000 1 1 1\n",
         {row("1", "2", "3", "4")},
         row("-0", "1", "1", "1"),
         26},
        {"minus zero percent with an exponent",
         "100 10 1 -0e7",
         {},
         row("100", "10", "1", "-0"),
         -1},
        {"plus zero and other zero forms", "+0 0x0p3 00 .0e-5", {}, row("0", "0", "0", "0"), -1},
        {"hexadecimal years are a zero", "1 1 0x7 1\n", {}, std::nullopt, 5},
        {"a long zero",
         "1 1 1 0.000000000000000000000000000000000000000000000000001e-10",
         {},
         row("1", "1", "1", "0"),
         -1},
        {"1e-46 rounds to zero", "1e-46 10 1 20\n0 0 0 0", {}, row("0", "10", "1", "20"), 13},
        {"1e-40 stays a subnormal",
         "1e-40 10 1 20\n0 0 0 0",
         {row("1e-40", "10", "1", "20")},
         row("0", "0", "0", "0"),
         -1},
        {"half the smallest subnormal is zero",
         "1 " + half_smallest_subnormal_digits + "e-46 1 1",
         {},
         row("1", "0", "1", "1"),
         -1},
        {"just above half the smallest subnormal is not",
         "1 " + half_smallest_subnormal_digits + "1e-46 1 1\n-0",
         {row("1", "1e-45", "1", "1")},
         row("-0", "0", "0", "0"),
         -1},
        {"nan, inf and -inf do not close the list",
         "nan 10 1 20\n100 inf 1 20\n100 10 1 -inf\n-nan 10 1 20\n100 10 1 NaN\n0 0 0 0\n",
         {row("nan", "10", "1", "20"), row("100", "inf", "1", "20"), row("100", "10", "1", "-inf"),
          row("-nan", "10", "1", "20"), row("100", "10", "1", "NaN")},
         row("0", "0", "0", "0"),
         72},
        {"negative values are stored",
         "-100 -10 -1 -20\n-1e-40 -3 -2147483648 -3.5\n0 0 0 0",
         {row("-100", "-10", "-1", "-20"), row("-1e-40", "-3", "-2147483648", "-3.5")},
         row("0", "0", "0", "0"),
         -1},
        {"one record over four lines",
         "100\n10\n1\n20\n0\n0\n0\n0\n",
         {row("100", "10", "1", "20")},
         row("0", "0", "0", "0"),
         19},
        {"two records on one line",
         "100 10 1 20 1000 91.67 1 10\n0 0 0 0\n",
         {row("100", "10", "1", "20"), row("1000", "91.67", "1", "10")},
         row("0", "0", "0", "0"),
         35},
        {"records across lines",
         "100 10\n1 20 1000\n91.67 1\n10 0\n0 0 0\n",
         {row("100", "10", "1", "20"), row("1000", "91.67", "1", "10")},
         row("0", "0", "0", "0"),
         35},
        {"any white space between values",
         "\t\v\f\r 100\r\n10 \t1\v20\f\f0 0 0 0",
         {row("100", "10", "1", "20")},
         row("0", "0", "0", "0"),
         -1},
        {"no space needed between values",
         "5-3 2-4 1 1 1 1\n0 0 0 0",
         {row("5", "-3", "2", "-4"), row("1", "1", "1", "1")},
         row("0", "0", "0", "0"),
         -1},
        {"other notations",
         "0x1.8p1 0X10 7 -0x.8p-1\n1e3 .5 +7 5.\nINFINITY -Inf 2 nAn\n0 0 0 0\n",
         {row("0x1.8p1", "0X10", "7", "-0x.8p-1"), row("1e3", ".5", "7", "5."),
          row("inf", "-inf", "2", "nan")},
         row("0", "0", "0", "0"),
         64},
        {"exponent letters and signs without digits",
         "1e 2e+ 3 4E-\n0 0 0 0",
         {row("1", "2", "3", "4")},
         row("0", "0", "0", "0"),
         -1},
        {"years saturate",
         "1 1 3000000000 1\n1 1 -3000000000 1\n1 1 99999999999999999999999999 1\n0 0 0 0",
         {row("1", "1", "2147483647", "1"), row("1", "1", "-2147483648", "1"),
          row("1", "1", "2147483647", "1")},
         row("0", "0", "0", "0"),
         -1},
        {"text after the terminator is never read",
         "1 2 3 4 0 0 0 0 \xff\x00 nan 5 x \n 1 1 1 1"s,
         {row("1", "2", "3", "4")},
         row("0", "0", "0", "0"),
         15},
        {"valid records after the terminator",
         "1 2 3 4\n0 0 0 0\n5 6 7 8\n",
         {row("1", "2", "3", "4")},
         row("0", "0", "0", "0"),
         15},
        {"a broken value after a zero",
         "1 2 3 4\n5 0 x 7\n",
         {row("1", "2", "3", "4")},
         std::nullopt,
         12},
        {"a broken nan after a zero", "5 0 7 nax 7\n", {}, std::nullopt, 9},
        {"a float in the years after a zero", "5 0 nan 7\n", {}, std::nullopt, 4},
        {"the end of input after a zero",
         "1 2 3 4\n5 0",
         {row("1", "2", "3", "4")},
         std::nullopt,
         -1},
        {"the end of input at a record boundary",
         "1 2 3 4\n5 6 7 8\n  \n",
         {row("1", "2", "3", "4"), row("5", "6", "7", "8")},
         std::nullopt,
         -1},
        {"the end of input right after a fourth value",
         "1 2 3 4",
         {row("1", "2", "3", "4")},
         std::nullopt,
         -1},
        {"empty input", "", {}, std::nullopt, -1},
        {"white space only", " \n\t\r\n", {}, std::nullopt, -1},
    };
}

}  // namespace

TEST(ReadRecords, ListsAndTheirClosingRecord) {
    for (const list_case& c : list_cases()) {
        SCOPED_TRACE(c.name);
        const reading r = read_every_way(c.text);
        expect_invariant(r, c.name);
        EXPECT_EQ(r.outcome.status, read_status::closed) << describe(r.outcome);
        ASSERT_EQ(r.rows.size(), c.answered.size() + 1);
        for (std::size_t k = 0; k < c.answered.size(); ++k)
            EXPECT_TRUE(r.rows[k] == c.answered[k]) << "row " << k;
        if (c.closing) {
            EXPECT_TRUE(r.rows.back() == *c.closing) << "closing row";
        }
        EXPECT_EQ(r.consumed,
                  c.consumed < 0 ? static_cast<std::int64_t>(c.text.size()) : c.consumed);
    }
}

// 100 10 2.5 20 / 0 0 0 0 is the record 100 10 2 .5, then 20 0 0 0.
TEST(ReadRecords, FractionInTheYearsMovesTheRestAlong) {
    const reading r = read_every_way("100 10 2.5 20\n0 0 0 0\n");
    EXPECT_EQ(r.outcome.status, read_status::closed);
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_TRUE(r.rows[0] == row("100", "10", "2", "0.5"));
    EXPECT_TRUE(r.rows[1] == row("20", "0", "0", "0"));
    EXPECT_EQ(r.consumed, 19);  // the last 0 is never read
}

namespace {

// ---------------------------------------------------------------------------
// How a list that is not closed by a zero ends (the read_outcome).

struct ending_case {
    const char* name;
    std::string text;
    read_status status;
    std::int64_t line;
    std::int32_t record_number;
    int value_position;  // for not_a_number
    std::size_t answered;
    std::int64_t consumed;
};

const ending_case ending_cases[] = {
    {"letter where the years should be", "100 10 x 20\n", read_status::not_a_number, 1, 1, 3, 0, 7},
    {"letter starting a record", "100 10 1 20\n\n  abc 1 2 3\n", read_status::not_a_number, 3, 2, 1,
     1, 15},
    {"broken nan in the percent", "100 10 1 20\n1 2 3 nax\n", read_status::not_a_number, 2, 2, 4, 1,
     21},
    {"broken infinity", "100 10 1 20\n1 infinitx 3 4\n", read_status::not_a_number, 2, 2, 2, 1, 22},
    {"infinity cut by the end of input", "1 2 3 infinit", read_status::not_a_number, 1, 1, 4, 0,
     13},
    {"a sign alone", "100 10 1 -\n", read_status::not_a_number, 1, 1, 4, 0, 10},
    {"a sign alone at the end", "100 10 1 -", read_status::not_a_number, 1, 1, 4, 0, 10},
    {"a point alone", "1 2 3 4\n100 . 1 1", read_status::not_a_number, 2, 2, 2, 1, 13},
    {"a sign in the years", "100 10 + 1", read_status::not_a_number, 1, 1, 3, 0, 8},
    {"two signs in the years", "100 10 +-3 1", read_status::not_a_number, 1, 1, 3, 0, 8},
    {"a point in place of the years", "100 10 .5 1", read_status::not_a_number, 1, 1, 3, 0, 7},
    {"hexadecimal prefix alone", "100 0x 1 1", read_status::not_a_number, 1, 1, 2, 0, 6},
    {"a zero byte where a value starts", "100 10 1 20\n\0 1 1 1"s, read_status::not_a_number, 2, 2,
     1, 1, 12},
    {"a zero byte after a value", "100 1\0 1 1"s, read_status::not_a_number, 1, 1, 3, 0, 5},
    {"a non-ASCII byte", "100 10 1 20 \xc3\xa9 1 1 1", read_status::not_a_number, 1, 2, 1, 1, 12},
    {"the value's line after blank lines", "1 2 3 4\n5\n\n\n6 y\n", read_status::not_a_number, 5, 2,
     3, 1, 14},
    {"carriage returns are not line breaks", "1 2 3 4\r\r5 6 7 ?", read_status::not_a_number, 1, 2,
     4, 1, 15},
    {"input ends after one value", "100 10 1 20\n100", read_status::ends_inside_record, 2, 2, 0, 1,
     15},
    {"input ends after three values", "100\n10\n1", read_status::ends_inside_record, 1, 1, 0, 0, 8},
    {"input ends after three values and space", "1 1 1 1\n\n100 10 1 \n\n",
     read_status::ends_inside_record, 3, 2, 0, 1, 20},
    {"a point, an exponent letter and more after the years", "100 10 1.5e 20",
     read_status::ends_inside_record, 1, 2, 0, 1, 14},
};

}  // namespace

TEST(ReadRecords, ListsEndedByUnusableInput) {
    for (const ending_case& c : ending_cases) {
        SCOPED_TRACE(c.name);
        const reading r = read_every_way(c.text);
        expect_invariant(r, c.name);
        EXPECT_EQ(r.outcome.status, c.status) << describe(r.outcome);
        EXPECT_EQ(r.outcome.line, c.line);
        EXPECT_EQ(r.outcome.record_number, c.record_number);
        if (c.status == read_status::not_a_number) {
            EXPECT_EQ(r.outcome.value_position, c.value_position);
        }
        EXPECT_EQ(r.rows.size(), c.answered + 1);
        EXPECT_EQ(r.consumed, c.consumed);
    }
}

// ---------------------------------------------------------------------------
// The capacity: 9,999 records and a closing one fill the table exactly.

namespace {

std::string numbered_records(int count) {
    std::string text;
    for (int k = 1; k <= count; ++k)
        text += std::to_string(k) + " 1.5 " + std::to_string(k % 7 + 1) + " 2\n";
    return text;
}

}  // namespace

TEST(ReadRecords, NineThousandNineHundredNinetyNineRecordsAndATerminator) {
    const std::string text = numbered_records(max_records - 1) + "0 0 0 0\n";
    const reading r = read_every_way(text);
    EXPECT_EQ(r.outcome.status, read_status::closed);
    ASSERT_EQ(r.rows.size(), static_cast<std::size_t>(max_records));
    EXPECT_TRUE(r.rows[max_records - 2] == row("9999", "1.5", "4", "2"));
    EXPECT_EQ(r.consumed, static_cast<std::int64_t>(text.size() - 1));
}

TEST(ReadRecords, TheLastRowTakenByARecordWithoutZero) {
    // The 10,000th record starts on line 10,000; nothing after it is read.
    const std::string text = numbered_records(max_records) + "7 7 7 7\n0 0 0 0\n";
    const reading r = read_every_way(text);
    EXPECT_EQ(r.outcome.status, read_status::too_many_records) << describe(r.outcome);
    EXPECT_EQ(r.outcome.line, max_records);
    EXPECT_EQ(r.outcome.record_number, max_records);
    ASSERT_EQ(r.rows.size(), static_cast<std::size_t>(max_records));
    EXPECT_TRUE(r.rows[max_records - 1] == row("10000", "1.5", "5", "2"));
    EXPECT_EQ(r.consumed, static_cast<std::int64_t>(numbered_records(max_records).size() - 1));
    expect_invariant(r, "10,000 records");
}

TEST(ReadRecords, TheTenThousandthRecordMayCloseTheList) {
    const std::string closed = numbered_records(max_records - 1) + "5 0 5 5";
    const reading r = read_every_way(closed);
    EXPECT_EQ(r.outcome.status, read_status::closed);
    EXPECT_EQ(r.rows.size(), static_cast<std::size_t>(max_records));
    const std::string cut = numbered_records(max_records - 1) + "\n5 5";
    const reading cut_reading = read_every_way(cut);
    EXPECT_EQ(cut_reading.outcome.status, read_status::ends_inside_record)
        << describe(cut_reading.outcome);
    EXPECT_EQ(cut_reading.outcome.line, max_records + 1);
    EXPECT_EQ(cut_reading.outcome.record_number, max_records);
}

// ---------------------------------------------------------------------------
// Failed reads: the complete records before the failure are answered.

namespace {

struct read_error_case {
    const char* name;
    std::string text;  // what is given before the failure
    std::size_t answered;
};

const read_error_case read_error_cases[] = {
    {"failure at once", "", 0},
    {"failure between records", "100 10 1 20\n", 1},
    {"failure inside a record", "100 10 1 20\n5 5", 1},
    // The last value might have gone on: the record is not complete.
    {"failure right after a fourth value", "100 10 1 20\n5 5 5 5", 1},
    {"failure inside white space", "100 10 1 20\n1000 91.67 1 10\n\n  ", 2},
    {"failure right after a zero", "100 10 1 20\n5 0", 1},
};

}  // namespace

TEST(ReadRecords, AFailedReadEndsTheList) {
    for (const read_error_case& c : read_error_cases) {
        for (const std::size_t piece : {std::size_t{0}, std::size_t{1}, std::size_t{3}}) {
            SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
            std::vector<std::size_t> pieces;
            if (piece != 0) pieces.push_back(piece);
            const std::string text = c.text + "0 0 0 0\n";  // never reached
            const reading r = read_with_pieces(text, pieces, {c.text.size(), EIO, 0});
            EXPECT_EQ(r.outcome.status, read_status::read_failed) << describe(r.outcome);
            EXPECT_EQ(r.outcome.read_error, EIO);
            EXPECT_EQ(r.rows.size(), c.answered + 1);
            expect_invariant(r, c.name);
            // A failed source is never asked again.
            ASSERT_FALSE(r.asked_at.empty());
            EXPECT_EQ(r.asked_at.back(), c.text.size());
            int failing_requests = 0;
            for (const std::size_t position : r.asked_at)
                failing_requests += position == c.text.size() ? 1 : 0;
            EXPECT_EQ(failing_requests, 1) << "the source was asked again after it failed";
        }
    }
}

TEST(ReadRecords, TheErrnoOfTheFailureIsKept) {
    for (const int error : {EIO, EISDIR, EBADF, ENOMEM}) {
        const reading r = read_with_pieces("1 2 3 4\n", {}, {8, error, 0});
        EXPECT_EQ(r.outcome.status, read_status::read_failed);
        EXPECT_EQ(r.outcome.read_error, error);
    }
}

TEST(ReadRecords, InterruptedReadsAreRetried) {
    const std::string text = "100 10 1 20\n1000 91.67 1 10\n0 0 0 0\n";
    const reading plain = read_with_pieces(text, {2});
    const reading interrupted = read_with_pieces(text, {2}, {SIZE_MAX, EIO, 5});
    EXPECT_EQ(interrupted.outcome.status, read_status::closed) << describe(interrupted.outcome);
    EXPECT_EQ(interrupted.outcome.read_error, 0);
    EXPECT_TRUE(interrupted.rows == plain.rows);
    EXPECT_EQ(interrupted.consumed, plain.consumed);
}

// ---------------------------------------------------------------------------
// The source is not asked beyond the closing record when the character that
// ends its last value is already held.

TEST(ReadRecords, NoRequestAfterTheClosingRecordIsComplete) {
    const std::string head = "100 10 1 20\n0 0 0 0\n";
    const std::string text = head + "more text that is never needed\n";
    // The first piece ends right after the line feed that ends the last 0.
    const reading r = read_with_pieces(text, {head.size(), 1000});
    EXPECT_EQ(r.outcome.status, read_status::closed);
    EXPECT_EQ(r.consumed, static_cast<std::int64_t>(head.size() - 1));
    EXPECT_EQ(r.asked_at.size(), 1u) << "asked again at byte " << r.asked_at.back();
    // One byte at a time: the line feed after the last 0 is the last byte fetched.
    const reading by_bytes = read_with_pieces(text, {1});
    ASSERT_FALSE(by_bytes.asked_at.empty());
    EXPECT_EQ(by_bytes.asked_at.back(), head.size() - 1);
    // A closing record ended by a letter, and one whose zero is its first value.
    for (const std::string& closing : {"5 0 3 2x"s, "0 1 1 1 "s, "1 1 1 -0.0e0\t"s, "5 0 nax"s}) {
        const std::string longer = closing + "never needed";
        const reading closed = read_with_pieces(longer, {closing.size(), 1000});
        EXPECT_EQ(closed.outcome.status, read_status::closed) << closing;
        EXPECT_EQ(closed.asked_at.size(), 1u) << closing;
    }
}

// ---------------------------------------------------------------------------
// Generated lists checked against the platform's strtof and strtol.

namespace {

struct token_pool {
    std::mt19937_64 random;
    // How often, in percent, a usual token or a single space or line feed
    // is given instead of the mix below: lists of usual records take the
    // reader's window paths.
    unsigned usual_percent = 0;

    bool usual() { return random() % 100 < usual_percent; }
    std::string usual_decimal(bool point) {
        std::string token = std::to_string(1 + random() % 9999999);
        if (point) token.insert(random() % (token.size() + 1), 1, '.');
        return token;
    }

    template <std::size_t n>
    std::string pick(const char* const (&choices)[n]) {
        return choices[random() % n];
    }
    std::string float_token() {
        if (usual()) return usual_decimal(random() % 4 != 0);
        static const char* const fixed[] = {
            "1",      "-2.5", "3e2",   "+4.",   ".5",    "1e-40",         "-1e-45",  "3.4028235e38",
            "3.5e38", "inf",  "-INF",  "nan",   "-nan",  "Infinity",      "0x1.8p1", "0X.4P-2",
            "1e+2",   "7E-0", "00012", "91.67", "19.99", "1.17549435e-38"};
        switch (random() % 3) {
        case 0:
            return pick(fixed);
        case 1:
            return std::to_string((static_cast<long>(random() % 2000000) - 1000000) | 1);
        default: {
            char text[64];
            std::snprintf(text, sizeof text, "%.*g", static_cast<int>(1 + random() % 12),
                          std::ldexp(static_cast<double>(random() % 1000000 + 1),
                                     static_cast<int>(random() % 200) - 100));
            return text;
        }
        }
    }
    std::string year_token() {
        if (usual()) return usual_decimal(false);
        static const char* const fixed[] = {"1",           "-1",         "+12",
                                            "007",         "2147483647", "2147483648",
                                            "-2147483649", "3000000000", "-99999999999999999999",
                                            "178956971"};
        if (random() % 2 == 0) return pick(fixed);
        return std::to_string((static_cast<long>(random() % 200001) - 100000) | 1);
    }
    std::string zero_token(bool years) {
        static const char* const floats[] = {"0",     "-0",    "0.0",    "-0.0", "0e9",
                                             "0x0p0", "1e-46", "-7e-46", ".0"};
        static const char* const ints[] = {"0", "-0", "+0", "000"};
        return years ? pick(ints) : pick(floats);
    }
    std::string separator() {
        if (usual()) return random() % 4 == 0 ? "\n" : " ";
        static const char* const spaces[] = {" ", "\n", "\t", " \n ", "\r\n", "\v", "\f", "  \n\n"};
        return pick(spaces);
    }
    std::string value_token(int position) { return position == 2 ? year_token() : float_token(); }
};

enum class list_ending { zero_record, end_between_records, end_inside_record, unusable_text };

struct generated_list {
    std::string text;
    read_status status;
    std::vector<row_bits> answered;
    std::int64_t line;  // for the statuses other than closed
    std::int32_t record_number;
    std::int64_t consumed;
};

std::int64_t line_at(const std::string& text, std::size_t position) {
    std::int64_t line = 1;
    for (std::size_t k = 0; k < position; ++k) line += text[k] == '\n' ? 1 : 0;
    return line;
}

row_bits stored_row(const std::string (&tokens)[4]) {
    return {float_bits(tokens[0].c_str()), float_bits(tokens[1].c_str()),
            year_value(tokens[2].c_str()), float_bits(tokens[3].c_str())};
}

// With `records_near_capacity` from 0 to 4, the list has 9,998 to 10,002
// records of four nonzero values before its ending; otherwise fewer than 30.
generated_list generate_list(token_pool& pool, int records_near_capacity) {
    generated_list list{};
    std::string& text = list.text;
    const auto ending = static_cast<list_ending>(pool.random() % 4);
    const int full_records = records_near_capacity >= 0 ? max_records - 2 + records_near_capacity
                                                        : static_cast<int>(pool.random() % 30);
    if (pool.random() % 3 == 0) text += pool.separator();
    // Records of four nonzero values; the 10,000th of them ends the list.
    for (int k = 0; k < full_records; ++k) {
        if (k > 0) text += pool.separator();
        const std::size_t start = text.size();
        std::string tokens[4];
        for (int v = 0; v < 4; ++v) {
            if (v > 0) text += pool.separator();
            tokens[v] = pool.value_token(v);
            text += tokens[v];
        }
        if (k + 1 == max_records) {
            list.status = read_status::too_many_records;
            list.line = line_at(text, start);
            list.record_number = max_records;
            list.consumed = static_cast<std::int64_t>(text.size());
            text += pool.separator() + "1 1 1 1 0 0 0 0";
            return list;
        }
        list.answered.push_back(stored_row(tokens));
    }
    list.record_number = full_records + 1;
    if (full_records > 0) text += pool.separator();
    const std::size_t start = text.size();
    list.line = line_at(text, start);
    if (ending == list_ending::end_between_records) {
        list.status = read_status::closed;
        list.consumed = static_cast<std::int64_t>(text.size());
        return list;
    }
    // The last record: complete with a zero, or cut after 0 to 3 values,
    // which may include a zero.
    const int values = ending == list_ending::zero_record ? 4 : static_cast<int>(pool.random() % 4);
    const int zero_at =
        static_cast<int>(pool.random() % (ending == list_ending::zero_record ? 4 : 8));
    for (int v = 0; v < values; ++v) {
        if (v > 0) text += pool.separator();
        text += v == zero_at ? pool.zero_token(v == 2) : pool.value_token(v);
    }
    const bool has_zero = zero_at < values;
    if (ending == list_ending::zero_record) {
        list.status = read_status::closed;
        list.consumed = static_cast<std::int64_t>(text.size());
        text += pool.separator() + "1 1 1 1 junk \x01";
    } else if (ending == list_ending::end_inside_record) {
        if (pool.random() % 2 == 0) text += pool.separator();
        list.consumed = static_cast<std::int64_t>(text.size());
        list.status =
            has_zero || values == 0 ? read_status::closed : read_status::ends_inside_record;
    } else {
        text += pool.separator();
        list.consumed = static_cast<std::int64_t>(text.size());
        if (!has_zero) list.line = line_at(text, text.size());
        text += '?';
        text += pool.separator();
        text += "1 1 1 1";
        list.status = has_zero ? read_status::closed : read_status::not_a_number;
    }
    return list;
}

}  // namespace

TEST(ReadRecords, GeneratedListsMatchThePlatformsConversions) {
    const char* seed_text = std::getenv("SCREENING_TEST_SEED");
    const std::uint64_t seed =
        seed_text != nullptr ? std::strtoull(seed_text, nullptr, 0) : 0x1157'0f'4ecull;
    token_pool pool{std::mt19937_64(seed)};
    int statuses_seen[5] = {};
    for (int n = 0; n < 300 && !HasFailure(); ++n) {
        // Every other list is mostly usual records.
        pool.usual_percent = n % 2 == 0 ? 0 : 90 + static_cast<unsigned>(n % 11);
        const generated_list list = generate_list(pool, n % 40 == 1 ? n / 40 % 5 : -1);
        SCOPED_TRACE("list " + std::to_string(n) + " (seed " + std::to_string(seed) + "): \"" +
                     escaped(list.text) + "\"");
        const reading r = read_every_way(list.text, seed + static_cast<std::uint64_t>(n));
        ++statuses_seen[static_cast<int>(list.status)];
        expect_invariant(r, "generated list");
        EXPECT_EQ(r.outcome.status, list.status) << describe(r.outcome);
        if (list.status != read_status::closed) {
            EXPECT_EQ(r.outcome.line, list.line);
            EXPECT_EQ(r.outcome.record_number, list.record_number);
        }
        ASSERT_EQ(r.rows.size(), list.answered.size() + 1);
        for (std::size_t k = 0; k < list.answered.size(); ++k)
            ASSERT_TRUE(r.rows[k] == list.answered[k]) << "row " << k;
        EXPECT_EQ(r.consumed, list.consumed);
    }
    for (int status = 0; status < 4; ++status)
        EXPECT_GT(statuses_seen[status], 0) << "status " << status;
}

// The reader's loops stop at the zero byte after the bytes held; a stream
// opened again over other input must not see, or count the line feeds of,
// what an earlier input left in the buffer.
TEST(ReadRecords, AReopenedStreamSeesOnlyItsOwnBytes) {
    static input_stream stream;
    static record_table table;
    const std::string earlier = "\n\n\n\n100 10 1 20\n1000 91.67 1 10\n0 0 0 0\n";

    struct later_case {
        std::string text;
        read_status status;
        std::int64_t line;
        std::int32_t record_count;
    };
    const later_case cases[] = {
        {"", read_status::closed, 1, 1},
        {"x", read_status::not_a_number, 1, 1},
        {"1 2 3", read_status::ends_inside_record, 1, 1},
        {"\n\n5 1 1 x", read_status::not_a_number, 3, 1},
        {"5 1 1 1\n0 0 0 0\n", read_status::closed, 2, 2},
    };
    for (const later_case& c : cases) {
        SCOPED_TRACE("later input \"" + escaped(c.text) + "\"");
        memory_input first = memory_bytes(earlier.data(), earlier.size());
        open_memory_input(stream, first);
        ASSERT_EQ(read_records(table, stream).status, read_status::closed);
        ASSERT_EQ(table.record_count, 3);
        memory_input second = memory_bytes(c.text.data(), c.text.size());
        open_memory_input(stream, second);
        const read_outcome outcome = read_records(table, stream);
        EXPECT_EQ(outcome.status, c.status);
        if (c.status != read_status::closed) {
            EXPECT_EQ(outcome.line, c.line);
        }
        EXPECT_EQ(table.record_count, c.record_count);
        EXPECT_LE(consumed_count(stream), static_cast<std::int64_t>(c.text.size()));
    }
}
