#include "records.hpp"

#include <bit>

#include "kernels/avx2/window.hpp"
#include "kernels/portable/window.hpp"
#include "kernels/sse2/window.hpp"

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

// Records taken whole by a kernel, from `row` on at input.next, while they
// come: four tokens found in the window and converted by the kernel's own
// conversion, or where the kernel's loop takes them so, token by token
// (take_record_by_tokens), none of them zero. Returns the first row not
// taken, with input.next at its start; the last row is never taken here, nor
// a record that closes the list: the value-by-value reader decides those. A
// window usually holds two records, which are taken from it together.
template <typename kernel>
[[gnu::always_inline]] inline std::int32_t take_window_records(record_table& table,
                                                               std::int32_t row,
                                                               input_stream& input,
                                                               const kernel& k) {
    using namespace record_window;
    const unsigned char* c = input.next;
    // The window starts on white space, or on a token that follows it; so
    // does every window after, at the white space after a record.
    if (!is_white_space(c[0]) && !is_white_space(c[-1])) return row;
    std::int64_t line = input.line;
    const std::int32_t first_row = row;
    // Room for both of a window's records, before the last row.
    while (row < max_records - 2) {
        const auto room = static_cast<std::uint64_t>(input.end - c);
        const window_masks masks = classify_window(c, k);
        std::uint64_t stops = token_stops(masks);
        const record_stops first = take_record_stops(stops, 0);
        if (!record_is_held(first, room)) {
            if (!takes_by_tokens(k, true, row == first_row)) break;
            const std::uint64_t starts = long_record_starts(k, masks, room);
            std::int64_t lines = line_feeds_before_last(masks, starts);
            const unsigned char* const after =
                take_record_by_tokens(input, c, starts, lines, table, row, k);
            if (after == nullptr) break;
            ++row;
            line += lines;
            c = after;
            continue;
        }
        if (!convert_record(c, masks, first, table, row, k) &&
            (!takes_by_tokens(k, has_letters(masks, first), row == first_row) ||
             take_record_by_tokens(input, c, record_starts(masks, first), line, table, row, k) ==
                 nullptr))
            break;
        ++row;
        std::uint64_t taken = first.stop[3];
        const record_stops second = take_record_stops(stops, taken);
        if (record_is_held(second, room) &&
            (convert_record(c, masks, second, table, row, k) ||
             (takes_by_tokens(k, has_letters(masks, second), false) &&
              take_record_by_tokens(input, c, record_starts(masks, second), line, table, row, k) !=
                  nullptr))) {
            ++row;
            taken = second.stop[3];
        }
        line += std::popcount(masks.line_feeds & bits_below(taken));
        c += taken;
    }
    input.next = const_cast<unsigned char*>(c);
    input.line = line;
    return row;
}

// Each kernel's loop is a function of its own, with its target options.
[[gnu::noinline]] std::int32_t take_records_portable(record_table& table, std::int32_t row,
                                                     input_stream& input) {
    return take_window_records(table, row, input, portable_kernel::constants{});
}

#if defined(__SSE2__)
[[gnu::noinline]] std::int32_t take_records_sse2(record_table& table, std::int32_t row,
                                                 input_stream& input) {
    return take_window_records(table, row, input, sse2_kernel::constants{});
}
#endif

#if defined(SCREENING_AVX2)
template <avx2_kernel::record_shape shape>
[[gnu::target("avx2,bmi,bmi2"), gnu::noinline]] std::int32_t take_avx2_records(
    record_table& table, std::int32_t row, input_stream& input) {
    return take_window_records(table, row, input,
                               avx2_kernel::record_kind<shape>{avx2_kernel::make_constants()});
}

// The usual records, then, from the first that the usual loop refuses,
// signed ones, then also spelled infinities and NaNs, then wide ones, then
// token by token the records that hold another letter or are longer than a
// window: each shape in a loop of its own, which keeps each loop as short
// as it is alone. A record the last loop takes first; another pass starts
// where it stops.
std::int32_t take_records_avx2(record_table& table, std::int32_t row, input_stream& input) {
    using enum avx2_kernel::record_shape;
    for (;;) {
        row = take_avx2_records<usual>(table, row, input);
        row = take_avx2_records<signed_amounts>(table, row, input);
        row = take_avx2_records<spelled_amounts>(table, row, input);
        row = take_avx2_records<wide>(table, row, input);
        const std::int32_t taken = take_avx2_records<tokens>(table, row, input);
        if (taken == row) return row;
        row = taken;
    }
}
#endif

template <std::int32_t (*take_records)(record_table&, std::int32_t, input_stream&)>
read_outcome read_all_records(record_table& table, input_stream& input) {
    for (std::int32_t row = 0;; ++row) {
        row = take_records(table, row, input);
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

}  // namespace

read_outcome read_records_with(processor_kernel kernel, record_table& table, input_stream& input) {
    switch (kernel) {
#if defined(SCREENING_AVX2)
    case processor_kernel::avx2:
        return read_all_records<take_records_avx2>(table, input);
#endif
#if defined(__SSE2__)
    case processor_kernel::sse2:
        return read_all_records<take_records_sse2>(table, input);
#endif
    default:
        return read_all_records<take_records_portable>(table, input);
    }
}

read_outcome read_records(record_table& table, input_stream& input) {
    return read_records_with(chosen_kernel(), table, input);
}
