// screening: reads records of four numbers from standard input, up to the
// first record with a zero value, and answers each record before it with a
// line "YES" or "NO".
//
// Two phases: the whole list is read first, then every record is answered;
// nothing after the closing record is read. All answers go out in one write
// at the end, and every problem is reported through report() below.
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "records.hpp"
#include "scanner.hpp"
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
static_assert(answer_capacity <= sizeof input.buffer);

// A descriptor left in non-blocking mode by whoever gave it to us is waited
// on rather than taken for a failure.
void wait_until_ready(int descriptor, short events) {
    pollfd ready{descriptor, events, 0};
    while (poll(&ready, 1, -1) < 0 && errno == EINTR) {
    }
}

long read_standard_input(void* /*context*/, unsigned char* into, unsigned long room) {
    for (;;) {
        const ssize_t got = read(STDIN_FILENO, into, room);
        if (got >= 0) return got;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            wait_until_ready(STDIN_FILENO, POLLIN);
        else if (errno != EINTR)
            return -errno;
    }
}

// Returns 0, or the errno of the failure.
int write_all(int descriptor, const void* bytes, unsigned long length) {
    const auto* text = static_cast<const char*>(bytes);
    while (length > 0) {
        const ssize_t written = write(descriptor, text, length);
        if (written >= 0) {
            text += written;
            length -= static_cast<unsigned long>(written);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            wait_until_ready(descriptor, POLLOUT);
        } else if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

// A regular file of some size on standard input will fill much of the table.
// Its pages are then made ready in one call rather than by a fault each,
// which a virtual machine makes costly. Elsewhere, or where the system lacks
// the call, the pages come as they are touched.
void prepare_table_for_large_input() {
#if defined(MADV_POPULATE_WRITE)
    constexpr long large_input = 64L * 1024;
    struct stat status {};
    if (fstat(STDIN_FILENO, &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size < large_input)
        return;
    static_cast<void>(madvise(&table, sizeof table, MADV_POPULATE_WRITE));
#endif
}

// A regular file is left positioned just after the closing record, so that
// the next reader of the same file gets exactly the rest.
void give_back_unread_input() {
    const long unread = unconsumed_count(input);
    if (unread > 0) static_cast<void>(lseek(STDIN_FILENO, -unread, SEEK_CUR));
}

// The two answers, NO and YES, each as four bytes (the fourth byte of "NO\n"
// is overwritten by the next answer), and their lengths.
constexpr char answer_texts[2][5] = {"NO\n\n", "YES\n"};
constexpr unsigned long answer_lengths[2] = {3, 4};

inline unsigned long append_answer(unsigned char* at, bool yes) {
    // NOLINTNEXTLINE(bugprone-not-null-terminated-result): answers are bytes, not a string.
    std::memcpy(at, yes ? answer_texts[1] : answer_texts[0], 4);
    return yes ? answer_lengths[1] : answer_lengths[0];
}

// Answers rows `row` to `stop` - 1 from `length` on; returns the new length.
unsigned long answer_one_at_a_time(unsigned char* answers, std::int32_t row, unsigned long length,
                                   std::int32_t stop) {
    for (; row < stop; ++row) length += append_answer(answers + length, record_verdict(table, row));
    return length;
}

#if defined(SCREENING_AVX2)
// The answers of four rows by their YES bits (row k in bit k): at most 16
// bytes, stored as 16 either way.
struct four_answers {
    unsigned char text[16];
    unsigned long length;
};

constexpr std::array<four_answers, 16> four_answer_texts = [] {
    std::array<four_answers, 16> texts{};
    for (unsigned yes = 0; yes < 16; ++yes) {
        four_answers& answers = texts[yes];
        for (unsigned k = 0; k < 4; ++k) {
            const unsigned answer = yes >> k & 1U;
            for (unsigned long c = 0; c < answer_lengths[answer]; ++c)
                answers.text[answers.length++] =
                    static_cast<unsigned char>(answer_texts[answer][c]);
        }
    }
    return texts;
}();

// Four rows at a time where their answers are certain in binary64 (nearly
// always), and each row by the rule itself otherwise.
[[gnu::target("avx2")]] unsigned long answer_four_at_a_time(unsigned char* answers) {
    unsigned long length = 0;
    std::int32_t row = 0;
    for (; row + 4 <= table.record_count - 1; row += 4) {
        unsigned yes = 0;
        if (certain_verdicts(table, row, yes) == 0xf) {
            const four_answers& texts = four_answer_texts[yes];
            std::memcpy(answers + length, texts.text, sizeof texts.text);
            length += texts.length;
        } else {
            length = answer_one_at_a_time(answers, row, length, row + 4);
        }
    }
    return answer_one_at_a_time(answers, row, length, table.record_count - 1);
}
#endif

// Writes the answers of the answered rows from `answers` on; returns their
// length.
unsigned long answer_records(unsigned char* answers) {
#if defined(SCREENING_AVX2)
    if (avx2_supported()) return answer_four_at_a_time(answers);
#endif
    return answer_one_at_a_time(answers, 0, 0, table.record_count - 1);
}

struct message {
    char text[512];
    unsigned long length;
};

void append(message& line, const char* text) {
    for (; *text != '\0' && line.length < sizeof line.text - 1; ++text)
        line.text[line.length++] = *text;
}

// Line, record and value numbers are never negative.
void append(message& line, std::int64_t number) {
    char digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number > 0);
    while (count > 0 && line.length < sizeof line.text - 1)
        line.text[line.length++] = digits[--count];
}

// The one path for problems: a line on standard error, and status 1.
int report(const message& problem) {
    message line{{}, 0};
    append(line, "screening: ");
    append(line, problem.text);
    line.text[line.length++] = '\n';
    static_cast<void>(write_all(STDERR_FILENO, line.text, line.length));
    return 1;
}

int report_read_outcome(const read_outcome& outcome) {
    message problem{{}, 0};
    switch (outcome.status) {
    case read_status::closed:
        return 0;
    case read_status::read_failed:
        append(problem, "read error: ");
        append(problem, std::strerror(outcome.read_error));
        return report(problem);
    default:
        break;
    }
    append(problem, "line ");
    append(problem, outcome.line);
    append(problem, ": ");
    if (outcome.status == read_status::not_a_number) {
        append(problem, "value ");
        append(problem, outcome.value_position);
        append(problem, " of record ");
        append(problem, outcome.record_number);
        append(problem, " is not a number");
    } else if (outcome.status == read_status::ends_inside_record) {
        append(problem, "input ends inside record ");
        append(problem, outcome.record_number);
    } else {
        append(problem, "more than ");
        append(problem, max_records - 1);
        append(problem, " records before the closing record");
    }
    return report(problem);
}

}  // namespace

int main() {
    prepare_table_for_large_input();
    open_input(input, {read_standard_input, nullptr});
    const read_outcome outcome = read_records(table, input);
    give_back_unread_input();

    unsigned char* const answers = input.buffer;
    const unsigned long length = answer_records(answers);
    const int write_error = write_all(STDOUT_FILENO, answers, length);

    int status = report_read_outcome(outcome);
    if (write_error != 0) {
        message problem{{}, 0};
        append(problem, "write error: ");
        append(problem, std::strerror(write_error));
        status = report(problem);
    }
    return status;
}
