#include "records.hpp"

#include "kernels/kernel.hpp"

namespace {

struct record_progress {
    read_outcome outcome;  // how the list ends if it ends in this record
    bool has_zero;         // a value read so far in this record is zero
};

// The excerpt of the text at `offset` (a consumed_count) that the buffer
// still holds: nothing more is read for it.
text_excerpt excerpt_at(const input_stream& input, std::int64_t offset) {
    text_excerpt found{{}, 0, false, false};
    const unsigned char* c = input.buffer;
    if (offset >= input.consumed_before_buffer) {
        c += offset - input.consumed_before_buffer;
        found.after_text = c > input.buffer && !is_white_space(c[-1]);
    }
    for (; c < input.end && *c != '\n'; ++c) {
        if (found.length == sizeof found.bytes) {
            found.cut = true;
            break;
        }
        found.bytes[found.length++] = *c;
    }
    return found;
}

// Reads the value at `position` (0 to 3) of the row; false when the record
// ends before it, with progress.outcome saying how the list ends. A row
// whose reading stops early keeps zeros in the places not read.
inline bool read_value(record_table& table, std::int32_t row, int position, input_stream& input,
                       record_progress& progress) {
    float* const amounts[4] = {&table.base_amount[row], &table.monthly_amount[row], nullptr,
                               &table.percent[row]};
    scan_result result = scan_result::end_of_input;
    std::int64_t start = 0;
    if (skip_white_space(input)) {
        if (position == 0) progress.outcome.line = input.line;
        start = consumed_count(input);
        result = position == 2 ? scan_int(input, table.years[row])
                               : scan_float(input, *amounts[position]);
    }
    if (result == scan_result::value && input.read_error == 0) {
        progress.has_zero =
            progress.has_zero || (position == 2 ? table.years[row] == 0 : *amounts[position] == 0);
        return true;
    }
    for (int later = position; later < 4; ++later) {
        if (later == 2)
            table.years[row] = 0;
        else
            *amounts[later] = 0;
    }
    if (input.read_error != 0)
        progress.outcome.status = read_status::read_failed;
    else if (result == scan_result::not_a_number && !progress.has_zero)
        progress.outcome = {read_status::not_a_number,
                            input.line,
                            row + 1,
                            position + 1,
                            0,
                            column_at(input, start),
                            excerpt_at(input, start)};
    else if (result == scan_result::end_of_input && position > 0 && !progress.has_zero)
        progress.outcome.status = read_status::ends_inside_record;
    progress.outcome.read_error = input.read_error;
    return false;
}

}  // namespace

// The kernel's first stage takes records whole while they come; the row
// where it stops is read value by value, and then the kernel is offered the
// next row at once.
read_outcome read_records(record_table& table, input_stream& input, const kernel_entry& kernel) {
    for (std::int32_t row = 0;; ++row) {
        row = kernel.take_records(table, row, input);
        table.record_count = row + 1;
        record_progress progress{
            {read_status::closed, input.line, row + 1, 0, 0, 0, {{}, 0, false, false}}, false};
        if (!read_value(table, row, 0, input, progress) ||
            !read_value(table, row, 1, input, progress) ||
            !read_value(table, row, 2, input, progress) ||
            !read_value(table, row, 3, input, progress))
            return progress.outcome;
        if (progress.has_zero) return progress.outcome;
        if (row + 1 == max_records)
            return {read_status::too_many_records, progress.outcome.line, row + 1, 0, 0, 0, {}};
    }
}

read_outcome read_records(record_table& table, input_stream& input) {
    return read_records(table, input, chosen_kernel());
}

unsigned long answer_records(const record_table& table, unsigned char* answers) {
    return chosen_kernel().answer_records(table, answers);
}
