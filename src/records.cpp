#include "records.hpp"

namespace {

// A row whose reading stopped early keeps zeros in the places not read, so
// no row ever holds stale values.
void clear_from(record_table& table, std::int32_t row, int first_unread) {
    if (first_unread <= 0) table.base_amount[row] = 0;
    if (first_unread <= 1) table.monthly_amount[row] = 0;
    if (first_unread <= 2) table.years[row] = 0;
    if (first_unread <= 3) table.percent[row] = 0;
}

scan_result scan_value(record_table& table, std::int32_t row, int position, input_stream& input,
                       bool& is_zero) {
    scan_result result = scan_result::value;
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
    return result;
}

}  // namespace

read_outcome read_records(record_table& table, input_stream& input) {
    table.record_count = 0;
    for (;;) {
        const std::int32_t row = table.record_count;
        table.record_count = row + 1;
        read_outcome outcome{read_status::closed, input.line, row + 1, 0, 0};
        bool has_zero = false;
        for (int position = 0; position < 4; ++position) {
            if (!skip_white_space(input)) {
                clear_from(table, row, position);
                if (input.read_error != 0) return {read_status::read_failed, 0, row + 1, 0, input.read_error};
                if (position == 0 || has_zero) return outcome;
                outcome.status = read_status::ends_inside_record;
                return outcome;
            }
            if (position == 0) outcome.line = input.line;
            const std::int64_t value_line = input.line;
            bool is_zero = false;
            const scan_result result = scan_value(table, row, position, input, is_zero);
            if (input.read_error != 0) {
                clear_from(table, row, position);
                return {read_status::read_failed, 0, row + 1, 0, input.read_error};
            }
            if (result != scan_result::value) {
                clear_from(table, row, position);
                if (has_zero) return outcome;
                return {read_status::not_a_number, value_line, row + 1, position + 1, 0};
            }
            has_zero = has_zero || is_zero;
        }
        if (has_zero) return outcome;
        if (table.record_count == max_records) {
            outcome.status = read_status::too_many_records;
            return outcome;
        }
    }
}
