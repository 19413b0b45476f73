// screening: reads records of four numbers from standard input, up to the
// first record with a zero value, and answers each record before it with a
// line "YES" or "NO".
//
// Two phases: the whole list is read first, then every record is answered;
// nothing after the closing record is read. All answers go out in one write
// at the end, and every problem is reported through report() below.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "kernels/avx2/answers.hpp"
#include "records.hpp"
#include "scanner.hpp"
#include "standard_streams.hpp"
#include "verdict.hpp"

namespace {

// Page-aligned, as the call that makes its pages ready needs.
alignas(4096) record_table table;
input_stream input;

// "YES\n" is the longest answer; one byte more lets every answer be copied
// as four bytes. The answers are written where the input was read: its
// buffer is free once the list is read and the unread bytes are given back,
// and a process that touches fewer pages starts and ends sooner.
constexpr unsigned long answer_capacity = 4 * (max_records - 1) + 1;
static_assert(answer_capacity <= input_buffer_size);

#if defined(SCREENING_AVX2)
// The kernel is inlined here, where the table's address is a constant.
[[gnu::target("avx2")]] unsigned long answer_records_avx2(unsigned char* answers) {
    return answer_four_at_a_time(table, answers);
}
#endif

// Writes the answers of the answered rows from `answers` on; returns their
// length.
unsigned long answer_records(unsigned char* answers) {
#if defined(SCREENING_AVX2)
    if (chosen_kernel() == processor_kernel::avx2) return answer_records_avx2(answers);
#endif
    return answer_one_at_a_time(table, answers, 0, 0, table.record_count - 1);
}

// The one path for problems: a line on standard error, and status 1.
int report(const char* problem) {
    char line[300];  // "screening: " and a problem of up to 255 bytes
    const int length = std::snprintf(line, sizeof line, "screening: %s\n", problem);
    static_cast<void>(write_all(STDERR_FILENO, line, static_cast<unsigned long>(length)));
    return 1;
}

int report_read_outcome(const read_outcome& outcome) {
    char problem[256];
    const auto line = static_cast<long long>(outcome.line);
    switch (outcome.status) {
    case read_status::closed:
        return 0;
    case read_status::read_failed:
        std::snprintf(problem, sizeof problem, "read error: %s", std::strerror(outcome.read_error));
        break;
    case read_status::not_a_number:
        std::snprintf(problem, sizeof problem, "line %lld: value %d of record %d is not a number",
                      line, outcome.value_position, outcome.record_number);
        break;
    case read_status::ends_inside_record:
        std::snprintf(problem, sizeof problem, "line %lld: input ends inside record %d", line,
                      outcome.record_number);
        break;
    case read_status::too_many_records:
        std::snprintf(problem, sizeof problem,
                      "line %lld: more than %d records before the closing record", line,
                      max_records - 1);
        break;
    }
    return report(problem);
}

}  // namespace

int main() {
    prepare_table_for_large_input(table);
    open_input(input, {read_standard_input, nullptr});
    const read_outcome outcome = read_records(table, input);
    give_back_unread_input(input);

    unsigned char* const answers = input.buffer;
    const unsigned long length = answer_records(answers);
    const int write_error = write_all(STDOUT_FILENO, answers, length);

    int status = report_read_outcome(outcome);
    if (write_error != 0) {
        char problem[256];
        std::snprintf(problem, sizeof problem, "write error: %s", std::strerror(write_error));
        status = report(problem);
    }
    return status;
}
