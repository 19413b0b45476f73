// screening: reads records of four numbers from standard input, up to the
// first record with a zero value, and answers each record before it with a
// line "YES" or "NO".
//
// Two phases: the whole list is read first, then every record is answered;
// nothing after the closing record is read. All answers go out in one write
// at the end, and every problem is reported through report() below.
#include <unistd.h>

#include <cstring>

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

// A line for standard error, built from text and numbers (never negative).
struct message {
    char text[512];
    unsigned long length;
};

void append(message& line, const char* text) {
    for (; *text != '\0' && line.length < sizeof line.text - 1; ++text)
        line.text[line.length++] = *text;
}

void append(message& line, std::int64_t number) {
    char digits[24];
    int count = 0;
    do digits[count++] = static_cast<char>('0' + number % 10);
    while ((number /= 10) > 0);
    while (count > 0 && line.length < sizeof line.text - 1)
        line.text[line.length++] = digits[--count];
}

// What stands where a value should start, quoted, with control and
// non-ASCII bytes escaped so that the message stays one printable line.
void append(message& line, const text_excerpt& found) {
    append(line, "\"");
    for (int i = 0; i < found.length; ++i) {
        const unsigned char c = found.bytes[i];
        const char* const digits = "0123456789abcdef";
        const char plain[] = {static_cast<char>(c), '\0'};
        const char letter = c == '\t' ? 't' : c == '\r' ? 'r' : static_cast<char>(c);
        const char escaped[] = {'\\', letter, '\0'};
        const char hex[] = {'\\', 'x', digits[c >> 4], digits[c & 15], '\0'};
        append(line, c == '"' || c == '\\' || c == '\t' || c == '\r' ? escaped
                     : c >= ' ' && c < 0x7f                          ? plain
                                                                     : hex);
    }
    append(line, found.cut ? "\"..." : "\"");
}

// The common mistakes behind a value that is not a number, in a few words.
const char* likely_mistake(const text_excerpt& found) {
    const auto starts_with = [&found](const char* text) {
        for (int i = 0; text[i] != '\0'; ++i)
            if (i >= found.length || found.bytes[i] != static_cast<unsigned char>(text[i]))
                return false;
        return true;
    };
    const bool letter =
        found.length > 0 && (found.bytes[0] | 0x20) >= 'a' && (found.bytes[0] | 0x20) <= 'z';
    if (starts_with("\xef\xbb\xbf")) return " (a UTF-8 byte order mark)";
    if (starts_with(","))
        return " (a comma: values are separated by white space, and the decimal point is a full "
               "stop)";
    if (starts_with(";")) return " (a semicolon: values are separated by white space)";
    if (found.after_text) return " (right after the previous value, with no white space between)";
    if (letter) return " (a word: the input holds numbers only, with no header line)";
    return "";
}

// The one path for problems: a line on standard error, and status 1.
template <typename... parts>
int report(const parts&... problem) {
    message line{{}, 0};
    append(line, "screening: ");
    (append(line, problem), ...);
    line.text[line.length++] = '\n';
    static_cast<void>(write_all(STDERR_FILENO, line.text, line.length));
    return 1;
}

int report_read_outcome(const read_outcome& outcome) {
    switch (outcome.status) {
    case read_status::closed:
        return 0;
    case read_status::read_failed:
        return report("read error: ", std::strerror(outcome.read_error));
    case read_status::not_a_number:
        return report("line ", outcome.line, ", column ", outcome.column, ": value ",
                      std::int64_t{outcome.value_position}, " of record ",
                      std::int64_t{outcome.record_number}, " is not a number: ", outcome.found,
                      likely_mistake(outcome.found));
    case read_status::ends_inside_record:
        return report("line ", outcome.line, ": input ends inside record ",
                      std::int64_t{outcome.record_number});
    case read_status::too_many_records:
        break;
    }
    return report("line ", outcome.line, ": more than ", std::int64_t{max_records - 1},
                  " records before the closing record");
}

}  // namespace

int main() {
    prepare_table_for_large_input(table);
    open_input(input, {read_standard_input, nullptr});
    const read_outcome outcome = read_records(table, input);
    give_back_unread_input(input);

    unsigned char* const answers = input.buffer;
    const unsigned long length = answer_records(table, answers);
    const int write_error = write_all(STDOUT_FILENO, answers, length);

    int status = report_read_outcome(outcome);
    if (write_error != 0) status = report("write error: ", std::strerror(write_error));
    return status;
}
