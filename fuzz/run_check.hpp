// The read-and-answer check behind the `run` fuzz target and its corpus
// test: arbitrary bytes go through read_records and record_verdict, and
// must give what a reference reader built on the platform's fscanf gives
// under the program's rules for the end of the list:
//   - a record with a zero value closes the list;
//   - the end of input before a record's first value closes it too;
//   - a record that cannot be read to its fourth value closes it: silently
//     when a value already read in it is zero, otherwise as an error ("not a
//     number" at the value, or "input ends inside record");
//   - a 10,000th record that is not a closing one is an error;
//   - years beyond 32 bits are clamped.
// Besides agreeing with the reference, the table must keep its invariants.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "../tests/support/memory_input.hpp"
#include "../tools/platform_check.hpp"
#include "fuzz_text.hpp"
#include "kernels/kernel.hpp"
#include "records.hpp"
#include "scanner.hpp"
#include "verdict.hpp"

struct run_check_counts {
    std::uint64_t records;              // answered records compared
    std::uint64_t platform_hex_faults;  // strtof's known fault, overruled
};

// The answer as the rule defines it, in the x87 extended format.
inline bool reference_verdict(float base_amount, float monthly_amount, std::int32_t years,
                              float percent) {
    const long double total = static_cast<long double>(monthly_amount) *
                              static_cast<long double>(std::int64_t{years} * 12);
    const long double fraction = static_cast<long double>(percent) / 100.0L;
    const long double increase = static_cast<long double>(base_amount) * fraction;
    const long double threshold = static_cast<long double>(base_amount) + increase;
    return total > threshold;
}

namespace run_check_detail {

// Line numbers by byte offset, for offsets that never decrease.
struct line_counter {
    const unsigned char* text;
    long counted_to;
    std::int64_t line;
};

inline std::int64_t line_at(line_counter& counter, long offset) {
    for (; counter.counted_to < offset; ++counter.counted_to)
        if (counter.text[counter.counted_to] == '\n') ++counter.line;
    return counter.line;
}

inline const char* status_name(read_status status) {
    switch (status) {
    case read_status::closed:
        return "closed";
    case read_status::not_a_number:
        return "not_a_number";
    case read_status::ends_inside_record:
        return "ends_inside_record";
    case read_status::too_many_records:
        return "too_many_records";
    case read_status::read_failed:
        return "read_failed";
    }
    return "?";
}

inline std::string describe(const read_outcome& outcome, std::int32_t record_count) {
    return std::string(status_name(outcome.status)) + " (line " + std::to_string(outcome.line) +
           ", column " + std::to_string(outcome.column) + ", record " +
           std::to_string(outcome.record_number) + ", value " +
           std::to_string(outcome.value_position) + ", record_count " +
           std::to_string(record_count) + ")";
}

}  // namespace run_check_detail

// Reads the list with fscanf, one conversion per value, into `table`.
inline read_outcome reference_read_records(record_table& table, const unsigned char* text,
                                           std::size_t size, run_check_counts& counts) {
    using namespace run_check_detail;
    static unsigned char no_text[1];
    FILE* input = fmemopen(size > 0 ? const_cast<unsigned char*>(text) : no_text, size, "r");
    line_counter lines{text, 0, 1};
    read_outcome outcome{read_status::closed, 1, 1, 0, 0, 0, {}};
    table.record_count = 0;
    for (;;) {
        const std::int32_t row = table.record_count;
        table.record_count = row + 1;
        outcome = {read_status::closed, outcome.line, row + 1, 0, 0, 0, {}};
        table.base_amount[row] = table.monthly_amount[row] = table.percent[row] = 0;
        table.years[row] = 0;
        bool has_zero = false;
        for (int position = 0; position < 4; ++position) {
            int c = 0;
            while ((c = std::getc(input)) != EOF && is_c_space(c)) {
            }
            if (c == EOF) {
                if (position > 0 && !has_zero) outcome.status = read_status::ends_inside_record;
                std::fclose(input);
                return outcome;
            }
            std::ungetc(c, input);
            const long value_start = std::ftell(input);
            const std::int64_t value_line = line_at(lines, value_start);
            if (position == 0) outcome.line = value_line;
            float value = 0;
            long years = 0;
            const int result = position == 2 ? std::fscanf(input, "%ld", &years)
                                             : std::fscanf(input, "%f", &value);
            if (result != 1) {
                long line_start = value_start;
                while (line_start > 0 && text[line_start - 1] != '\n') --line_start;
                if (!has_zero)
                    outcome = {read_status::not_a_number,    value_line, row + 1, position + 1, 0,
                               value_start - line_start + 1, {}};
                std::fclose(input);
                return outcome;
            }
            if (position == 2) {
                table.years[row] = static_cast<std::int32_t>(years < INT32_MIN   ? INT32_MIN
                                                             : years > INT32_MAX ? INT32_MAX
                                                                                 : years);
                has_zero = has_zero || table.years[row] == 0;
                continue;
            }
            bool overruled = false;
            const std::uint32_t bits = corrected_platform_value(
                text + value_start, static_cast<std::size_t>(std::ftell(input) - value_start),
                std::bit_cast<std::uint32_t>(value), overruled);
            if (overruled) ++counts.platform_hex_faults;
            value = std::bit_cast<float>(bits);
            (position == 0   ? table.base_amount
             : position == 1 ? table.monthly_amount
                             : table.percent)[row] = value;
            has_zero = has_zero || value == 0;
        }
        if (has_zero) break;
        if (table.record_count == max_records) {
            outcome.status = read_status::too_many_records;
            break;
        }
    }
    std::fclose(input);
    return outcome;
}

namespace run_check_detail {

// Our reading of the bytes fed in the given pieces, by read_records or with
// the given kernel, against the reference's.
inline std::string check_reading(const kernel_entry* kernel, input_stream& stream,
                                 record_table& table, const record_table& reference,
                                 const read_outcome& expected, const unsigned char* data,
                                 std::size_t size, const std::size_t* pieces,
                                 std::size_t piece_count) {
    memory_input source = memory_bytes(data, size, pieces, piece_count);
    open_memory_input(stream, source);
    const read_outcome ours =
        kernel != nullptr ? read_records(table, stream, *kernel) : read_records(table, stream);
    const std::int32_t count = table.record_count;
    const std::string input_text = std::string(" for input ") + quoted(data, size) +
                                   (piece_count == 0 ? " read whole" : " read in pieces") + " by " +
                                   (kernel != nullptr ? kernel->name : "read_records");

    // The table's own promises.
    if (count < 1 || count > max_records)
        return "record_count " + std::to_string(count) + input_text;
    for (std::int32_t row = 0; row + 1 < count; ++row) {
        if (table.base_amount[row] == 0 || table.monthly_amount[row] == 0 ||
            table.years[row] == 0 || table.percent[row] == 0)
            return "answered row " + std::to_string(row) + " holds a zero" + input_text;
    }
    const std::int32_t last = count - 1;
    const bool last_has_zero = table.base_amount[last] == 0 || table.monthly_amount[last] == 0 ||
                               table.years[last] == 0 || table.percent[last] == 0;
    switch (ours.status) {
    case read_status::too_many_records:
        if (count != max_records || last_has_zero)
            return "too_many_records before the last row" + input_text;
        break;
    case read_status::read_failed:
        return "read_failed on input from memory" + input_text;
    case read_status::not_a_number:
        if (ours.value_position < 1 || ours.value_position > 4)
            return "not_a_number at value " + std::to_string(ours.value_position) + input_text;
        [[fallthrough]];
    case read_status::ends_inside_record:
    case read_status::closed:
        if (!last_has_zero)
            return "the last row of a list ended by " + describe(ours, count) + " has no zero" +
                   input_text;
        if (ours.status != read_status::closed && ours.record_number != count)
            return describe(ours, count) + " names another record than the last" + input_text;
        break;
    }
    if (consumed_count(stream) > static_cast<std::int64_t>(size))
        return "consumed more than the input" + input_text;

    // The reference's reading and answers.
    if (ours.status != expected.status || reference.record_count != count ||
        (ours.status != read_status::closed &&
         (ours.line != expected.line || ours.record_number != expected.record_number ||
          ours.value_position != expected.value_position || ours.column != expected.column)))
        return "ours ended " + describe(ours, count) + ", the fscanf reader " +
               describe(expected, reference.record_count) + input_text;
    for (std::int32_t row = 0; row < last; ++row) {
        const std::uint32_t ours_values[4] = {
            std::bit_cast<std::uint32_t>(table.base_amount[row]),
            std::bit_cast<std::uint32_t>(table.monthly_amount[row]),
            static_cast<std::uint32_t>(table.years[row]),
            std::bit_cast<std::uint32_t>(table.percent[row])};
        const std::uint32_t reference_values[4] = {
            std::bit_cast<std::uint32_t>(reference.base_amount[row]),
            std::bit_cast<std::uint32_t>(reference.monthly_amount[row]),
            static_cast<std::uint32_t>(reference.years[row]),
            std::bit_cast<std::uint32_t>(reference.percent[row])};
        for (int position = 0; position < 4; ++position) {
            if (ours_values[position] != reference_values[position])
                return "record " + std::to_string(row + 1) + " value " +
                       std::to_string(position + 1) + ": ours " + hex_bits(ours_values[position]) +
                       ", fscanf " + hex_bits(reference_values[position]) + input_text;
        }
        const bool answer = record_verdict(table, row);
        const bool expected_answer =
            reference_verdict(reference.base_amount[row], reference.monthly_amount[row],
                              reference.years[row], reference.percent[row]);
        if (answer != expected_answer)
            return "record " + std::to_string(row + 1) + ": ours answers " +
                   (answer ? "YES" : "NO") + ", the rule " + (expected_answer ? "YES" : "NO") +
                   input_text;
    }
    return {};
}

}  // namespace run_check_detail

// Returns an empty string when everything agreed, else what differed. The
// input is read as one piece, as the program mostly gets it, by read_records
// and by every other kernel this processor runs, and
// in pieces whose sizes come from the text itself, so that every input is
// also a pattern of splits. The tables (about 160 KB each) and the stream
// are working space.
inline std::string check_run_input(input_stream& stream, record_table& table,
                                   record_table& reference, const unsigned char* data,
                                   std::size_t size, run_check_counts& counts) {
    using run_check_detail::check_reading;
    const read_outcome expected = reference_read_records(reference, data, size, counts);
    std::string problem =
        check_reading(nullptr, stream, table, reference, expected, data, size, nullptr, 0);
    if (!problem.empty()) return problem;
    for (const kernel_entry& kernel : build_kernels()) {
        if (&kernel == &chosen_kernel() || !kernel.supported()) continue;
        problem =
            check_reading(&kernel, stream, table, reference, expected, data, size, nullptr, 0);
        if (!problem.empty()) return problem;
    }
    const std::size_t pieces[3] = {size > 0 ? piece_size_from_byte(data[0]) : 1, input_buffer_size,
                                   size > 0 ? piece_size_from_byte(data[size - 1]) : 1};
    problem = check_reading(nullptr, stream, table, reference, expected, data, size, pieces, 3);
    if (problem.empty()) counts.records += static_cast<std::uint64_t>(reference.record_count - 1);
    return problem;
}
