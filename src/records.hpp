// The record table and the read phase that fills it.
#pragma once

#include <cstdint>

#include "scanner.hpp"

// Rows in the table; the closing record takes one, so at most 9,999 records
// are answered.
inline constexpr std::int32_t max_records = 10000;

// Column-wise: row k of the four columns is the k-th record of the input.
struct record_table {
    float base_amount[max_records];
    float monthly_amount[max_records];
    std::int32_t years[max_records];
    float percent[max_records];
    std::int32_t record_count;  // rows stored, the closing one included
};

// How the read phase ended.
enum class read_status {
    closed,              // a closing record, or the end of input between records
    not_a_number,        // text that cannot start a value, in a record without a zero
    ends_inside_record,  // the input ends inside a record without a zero
    too_many_records,    // the last row is taken by a record that is not a closing one
    read_failed,         // the input could not be read
};

// For not_a_number: what stands where the value should start, as the
// buffer holds it, up to the end of its line.
struct text_excerpt {
    unsigned char bytes[24];
    int length;
    bool cut;         // its line goes on after these bytes (the buffer's end tells nothing)
    bool after_text;  // no white space separates it from the text before
};

struct read_outcome {
    read_status status;
    std::int64_t line;           // where the offending text starts
    std::int32_t record_number;  // 1-based
    int value_position;          // 1-based, for not_a_number
    int read_error;              // errno, for read_failed
    std::int64_t column;         // 1-based, in bytes, for not_a_number
    text_excerpt found;          // for not_a_number
};

// The processor kernels the reader and the answers may run on (kernels/):
// every build has the portable one.
enum class processor_kernel { portable, sse2, neon, avx2 };

// Fills the table from the stream up to and including the closing record.
// Afterwards record_count >= 1, rows 0 ... record_count - 2 hold four nonzero
// values each, and the last row is never answered. Nothing after the closing
// record is read.
read_outcome read_records(record_table& table, input_stream& input);

// Writes the answer lines of rows 0 ... record_count - 2 from `answers` on,
// "YES\n" or "NO\n" each, and one byte after them; returns their length.
unsigned long answer_records(const record_table& table, unsigned char* answers);

// The same with one of the build's kernels (build_kernels in
// kernels/kernel.hpp) that this processor runs: every kernel gives the same.
struct kernel_entry;
read_outcome read_records(record_table& table, input_stream& input, const kernel_entry& kernel);
