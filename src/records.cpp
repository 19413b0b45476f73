#include "records.hpp"

#include <algorithm>

#include "kernels/avx2/record_window.hpp"
#include "kernels/sse2/record_window.hpp"

namespace {

struct record_progress {
    read_outcome outcome;  // how the list ends if it ends in this record
    bool has_zero;         // a value read so far in this record is zero
};

// A row whose reading stopped early keeps zeros in the places not read, so
// no row ever holds stale values.
void clear_from(record_table& table, std::int32_t row, int first_unread) {
    if (first_unread <= 0) table.base_amount[row] = 0;
    if (first_unread <= 1) table.monthly_amount[row] = 0;
    if (first_unread <= 2) table.years[row] = 0;
    if (first_unread <= 3) table.percent[row] = 0;
}

// Reads the value at `position` (0 to 3) of the row; false when the record
// ends before it, with progress.outcome saying how the list ends.
inline bool read_value(record_table& table, std::int32_t row, int position, input_stream& input,
                       record_progress& progress) {
    if (!skip_white_space(input)) {
        clear_from(table, row, position);
        if (input.read_error != 0)
            progress.outcome = {read_status::read_failed, 0, row + 1, 0, input.read_error};
        else if (position > 0 && !progress.has_zero)
            progress.outcome.status = read_status::ends_inside_record;
        return false;
    }
    if (position == 0) progress.outcome.line = input.line;
    const std::int64_t value_line = input.line;
    scan_result result = scan_result::value;
    bool is_zero = false;
    switch (position) {
    case 0:
        result = scan_float(input, table.base_amount[row]);
        is_zero = table.base_amount[row] == 0;
        break;
    case 1:
        result = scan_float(input, table.monthly_amount[row]);
        is_zero = table.monthly_amount[row] == 0;
        break;
    case 2:
        result = scan_int(input, table.years[row]);
        is_zero = table.years[row] == 0;
        break;
    default:
        result = scan_float(input, table.percent[row]);
        is_zero = table.percent[row] == 0;
        break;
    }
    if (result != scan_result::value || input.read_error != 0) {
        clear_from(table, row, position);
        if (input.read_error != 0)
            progress.outcome = {read_status::read_failed, 0, row + 1, 0, input.read_error};
        else if (!progress.has_zero)
            progress.outcome = {read_status::not_a_number, value_line, row + 1, position + 1, 0};
        return false;
    }
    progress.has_zero = progress.has_zero || is_zero;
    return true;
}

// Before a record there is usually the previous record's line feed. The
// zero byte after the buffer's bytes stops the loop.
inline void skip_line_break(const unsigned char*& c, std::int64_t& lines) {
    if (*c == '\n') {
        ++lines;
        ++c;
    }
    if (*c <= ' ') skip_white_space_counting(c, lines);
}

// An unsigned short decimal followed by white space.
[[gnu::always_inline]] inline bool take_spaced_decimal(const unsigned char*& c, float& value,
                                                       std::uint32_t& digits) {
    short_numbers::word_decimal number{};
    if (!short_numbers::take_word_decimal(c, number) || !short_numbers::white_space[*number.after])
        return false;
    value = short_numbers::word_decimal_value(number);
    digits = number.digits;
    c = number.after;
    return true;
}

inline void skip_separator(const unsigned char*& c, std::int64_t& lines) {
    lines += *c == '\n' ? 1 : 0;
    ++c;
    if (*c <= ' ') skip_white_space_counting(c, lines);
}

// The usual record: four unsigned short values, each followed by white
// space, wholly inside the buffer (the zero byte at its end is not white
// space). Works on a local cursor and takes the record only when all of it
// was read, leaving the white space after the last value; otherwise nothing
// is taken and read_value() reads the record.
inline bool read_plain_record(record_table& table, std::int32_t row, input_stream& input,
                              std::int64_t& record_line, bool& closing) {
    const unsigned char* c = input.next;
    std::int64_t lines = 0;
    skip_line_break(c, lines);
    const std::int64_t lines_before_record = lines;
    std::uint32_t base_digits = 0;
    std::uint32_t monthly_digits = 0;
    std::uint32_t percent_digits = 0;
    if (!take_spaced_decimal(c, table.base_amount[row], base_digits)) return false;
    skip_separator(c, lines);
    if (!take_spaced_decimal(c, table.monthly_amount[row], monthly_digits)) return false;
    skip_separator(c, lines);
    if (!take_short_int(c, input.end, table.years[row]) || !short_numbers::white_space[*c])
        return false;
    skip_separator(c, lines);
    if (!take_spaced_decimal(c, table.percent[row], percent_digits)) return false;
    closing =
        base_digits == 0 || monthly_digits == 0 || table.years[row] == 0 || percent_digits == 0;
    record_line = input.line + lines_before_record;
    input.next = const_cast<unsigned char*>(c);
    input.line += lines;
    return true;
}

// Take usual records a window at a time from `row` on, and return the first
// row not taken. The last row is never taken here: whether the list ends
// there is decided by the general path. The record before the window must
// have been followed by white space.
std::int32_t take_usual_records(record_table& table, std::int32_t row, input_stream& input) {
    const unsigned char* c = input.next;
    if (!short_numbers::white_space[*c]) return row;
    std::int64_t line = input.line;
    while (row < max_records - 1 &&
           record_window::take_record_window(c, input.end, table, row, line))
        ++row;
    input.next = const_cast<unsigned char*>(c);
    input.line = line;
    return row;
}

#if defined(SCREENING_AVX2)
// Usual records of one layout from `row` on at input.next, while they come;
// returns the first row not taken. Each layout's loop is a function of its
// own.
template <record_window::window_layout layout>
[[gnu::target("avx2,bmi,bmi2"), gnu::noinline]] std::int32_t take_usual_records_avx2(
    record_table& table, std::int32_t row, input_stream& input) {
    const unsigned char* c = input.next;
    if (!short_numbers::white_space[*c] || c - input.buffer < record_window::avx2_room_before)
        return row;
    std::int64_t line = input.line;
    const record_window::avx2_constants constants = record_window::make_avx2_constants();
    while (row < max_records - 1 && record_window::take_record_window_avx2<layout>(
                                        c, input.end, table, row, line, constants))
        ++row;
    input.next = const_cast<unsigned char*>(c);
    input.line = line;
    return row;
}

// Records apart by single spaces, then, where those stop, by any white
// space, then with signs too: each later layout takes the earlier ones as
// well, and goes on as far as it can. Each loop is a function of its own,
// which keeps the simpler layouts' loops as short as they are alone.
std::int32_t take_window_records_avx2(record_table& table, std::int32_t row, input_stream& input) {
    using record_window::window_layout;
    row = take_usual_records_avx2<window_layout::single_spaces>(table, row, input);
    row = take_usual_records_avx2<window_layout::any_white_space>(table, row, input);
    return take_usual_records_avx2<window_layout::signed_tokens>(table, row, input);
}
#endif

// After the window refuses the first record offered, it is not offered the
// next ones for a while, a pause that doubles (up to 64 records) while its
// attempts keep failing: a list of other records would otherwise pay for a
// failed attempt on each. A usual list meets the window's limits only at
// the ends of the buffer, and is offered its next record right away.
constexpr std::int32_t longest_window_pause = 64;

template <std::int32_t (*take_usual)(record_table&, std::int32_t, input_stream&)>
read_outcome read_all_records(record_table& table, input_stream& input) {
    std::int32_t window_pause = 0;  // records left before the window is offered one
    std::int32_t next_pause = 1;
    for (std::int32_t row = 0;; ++row) {
        if (window_pause > 0) {
            --window_pause;
        } else {
            const std::int32_t first_offered = row;
            row = take_usual(table, row, input);
            next_pause = row > first_offered ? 1 : std::min(2 * next_pause, longest_window_pause);
            window_pause = row > first_offered ? 0 : next_pause;
        }
        table.record_count = row + 1;
        std::int64_t record_line = 0;
        bool closing = false;
        if (read_plain_record(table, row, input, record_line, closing)) {
            if (closing) return {read_status::closed, record_line, row + 1, 0, 0};
        } else {
            record_progress progress{{read_status::closed, input.line, row + 1, 0, 0}, false};
            if (!read_value(table, row, 0, input, progress) ||
                !read_value(table, row, 1, input, progress) ||
                !read_value(table, row, 2, input, progress) ||
                !read_value(table, row, 3, input, progress))
                return progress.outcome;
            if (progress.has_zero) return progress.outcome;
            record_line = progress.outcome.line;
        }
        if (row + 1 == max_records)
            return {read_status::too_many_records, record_line, row + 1, 0, 0};
    }
}

}  // namespace

read_outcome read_records_portable(record_table& table, input_stream& input) {
    return read_all_records<take_usual_records>(table, input);
}

#if defined(SCREENING_AVX2)
read_outcome read_records_avx2(record_table& table, input_stream& input) {
    return read_all_records<take_window_records_avx2>(table, input);
}
#endif

read_outcome read_records(record_table& table, input_stream& input) {
#if defined(SCREENING_AVX2)
    if (chosen_kernel() == processor_kernel::avx2) return read_records_avx2(table, input);
#endif
    return read_records_portable(table, input);
}
