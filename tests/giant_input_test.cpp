// The built program on giant and degenerate input: a 200 MB number, 100 MB
// of white space, a million one-value lines, input arriving one byte per
// write, NUL bytes and invalid UTF-8 where a value should be. The input is
// streamed through a pipe by a writer thread, generated piece by piece, and
// the child's peak resident memory is taken from wait4().
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

namespace {

// Under AddressSanitizer the runtime alone takes tens of megabytes; the
// bound there only shows that the input is not held.
#if defined(__SANITIZE_ADDRESS__)
constexpr long peak_memory_limit_kib = 64 * 1024;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr long peak_memory_limit_kib = 64 * 1024;
#else
constexpr long peak_memory_limit_kib = 8 * 1024;
#endif
#else
constexpr long peak_memory_limit_kib = 8 * 1024;
#endif

constexpr int time_limit_seconds = 240;

struct child_run {
    std::string output;
    std::string errors;
    bool exited = false;
    int status = -1;
    int signal = 0;
    bool timed_out = false;
    long peak_memory_kib = 0;  // ru_maxrss of the child
};

// Writes the whole text unless the reader is gone; false then.
bool write_all(int descriptor, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = write(descriptor, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// `total` bytes of `pattern` repeated, 1 MiB per write.
bool write_repeated(int descriptor, std::string_view pattern, std::uint64_t total) {
    std::string block;
    while (block.size() < (1u << 20)) block += pattern;
    block.resize((1u << 20) / pattern.size() * pattern.size());
    while (total > 0) {
        const std::size_t length =
            total < block.size() ? static_cast<std::size_t>(total) : block.size();
        if (!write_all(descriptor, std::string_view(block).substr(0, length))) return false;
        total -= length;
    }
    return true;
}

using input_writer = std::function<void(int descriptor)>;

// Runs the program with standard input from a pipe that `writer` fills in a
// thread of its own. The pipe is closed when the writer returns, or, with
// `hold_input`, only after the program has ended: a program that waited for
// the end of input would then hang, and be killed at the time limit.
//
// fork() rather than posix_spawn(): a child that shares the test's memory
// until exec would have the test's peak resident size in its ru_maxrss.
child_run run_screening_with(const input_writer& writer, bool hold_input = false) {
    child_run run;
    signal(SIGPIPE, SIG_IGN);
    int input[2], output[2], errors[2];
    if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0 ||
        pipe2(errors, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return run;
    }
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGPIPE, SIG_DFL);
        if (dup2(input[0], STDIN_FILENO) < 0 || dup2(output[1], STDOUT_FILENO) < 0 ||
            dup2(errors[1], STDERR_FILENO) < 0)
            _exit(126);
        execl(SCREENING_BINARY, SCREENING_BINARY, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(input[0]);
    close(output[1]);
    close(errors[1]);
    if (child < 0) {
        ADD_FAILURE() << "fork: " << std::strerror(errno);
        close(input[1]);
        close(output[0]);
        close(errors[0]);
        return run;
    }

    std::thread writing([&] {
        writer(input[1]);
        if (!hold_input) close(input[1]);
    });

    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(time_limit_seconds);
    pollfd streams[2] = {{output[0], POLLIN, 0}, {errors[0], POLLIN, 0}};
    std::string* into[2] = {&run.output, &run.errors};
    int open_streams = 2;
    char block[65536];
    while (open_streams > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            run.timed_out = true;
            kill(child, SIGKILL);
            break;
        }
        if (poll(streams, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
        for (int s = 0; s < 2; ++s) {
            if (streams[s].fd < 0 || streams[s].revents == 0) continue;
            const ssize_t got = read(streams[s].fd, block, sizeof block);
            if (got > 0) {
                into[s]->append(block, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                close(streams[s].fd);
                streams[s].fd = -1;
                --open_streams;
            }
        }
    }
    int status = 0;
    rusage usage{};
    while (wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    // The writer may be blocked on a pipe nobody reads any more: closing
    // the read end gave it EPIPE when the child ended.
    writing.join();
    if (hold_input) close(input[1]);
    for (const pollfd& stream : streams)
        if (stream.fd >= 0) close(stream.fd);
    run.peak_memory_kib = usage.ru_maxrss;
    if (WIFEXITED(status)) {
        run.exited = true;
        run.status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        run.signal = WTERMSIG(status);
    }
    return run;
}

child_run run_screening_on(std::string text, bool hold_input = false) {
    return run_screening_with(
        [text = std::move(text)](int descriptor) { write_all(descriptor, text); }, hold_input);
}

std::string answers(const char* pattern, int repeat) {
    std::string text;
    for (int i = 0; i < repeat; ++i) text += pattern;
    return text;
}

// 1 + 2^-24 is exactly halfway between 1 and the next binary32 value,
// 1 + 2^-23. Nearest-even rounding gives 1 for the exact midpoint and
// 1 + 2^-23 for anything above it, however far behind the deciding digit is.
constexpr std::string_view halfway_above_one = "1.000000059604644775390625";
// With a base amount B, the record "B 1.00000011920928955078125 1 1100"
// compares 12 (1 + 2^-23) with B + 11 B: "YES" for B = 1, "NO" (a tie) for
// B = 1 + 2^-23.
constexpr std::string_view rest_of_probe_record = " 1.00000011920928955078125 1 1100\n0 0 0 0\n";
constexpr std::uint64_t giant_token_zeros = 200'000'000;

TEST(GiantInput, TwoHundredMegabyteNumberIsDecidedByItsLastDigit) {
    const child_run run = run_screening_with([](int descriptor) {
        write_all(descriptor, halfway_above_one) &&
            write_repeated(descriptor, "0", giant_token_zeros) && write_all(descriptor, "1") &&
            write_all(descriptor, rest_of_probe_record);
    });
    ASSERT_FALSE(run.timed_out);
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.errors, "");
    EXPECT_EQ(run.output, "NO\n") << "the base amount was not rounded up to 1 + 2^-23";
    EXPECT_GT(run.peak_memory_kib, 0);
    EXPECT_LT(run.peak_memory_kib, peak_memory_limit_kib) << "peak resident memory in KiB";
    std::printf("peak resident memory with a 200 MB token: %ld KiB\n", run.peak_memory_kib);
}

TEST(GiantInput, TwoHundredMegabyteExactMidpointRoundsToEven) {
    const child_run run = run_screening_with([](int descriptor) {
        write_all(descriptor, halfway_above_one) &&
            write_repeated(descriptor, "0", giant_token_zeros) &&
            write_all(descriptor, rest_of_probe_record);
    });
    ASSERT_FALSE(run.timed_out);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.errors, "");
    EXPECT_EQ(run.output, "YES\n") << "the exact midpoint was not rounded to 1";
    EXPECT_LT(run.peak_memory_kib, peak_memory_limit_kib) << "peak resident memory in KiB";
}

// Every kind of white space, two line feeds per ten bytes.
constexpr std::string_view white_space_pattern = " \t\n\v\f\r  \n ";
constexpr std::uint64_t white_space_bytes = 100'000'000;

TEST(GiantInput, HundredMegabytesOfWhiteSpaceBeforeARecord) {
    static_assert(white_space_bytes % white_space_pattern.size() == 0);
    const std::uint64_t line_feeds = white_space_bytes / white_space_pattern.size() * 2;
    const child_run run = run_screening_with([](int descriptor) {
        write_repeated(descriptor, white_space_pattern, white_space_bytes) &&
            write_all(descriptor, "100 10 1 19.99\n5 x 1 1\n");
    });
    ASSERT_FALSE(run.timed_out);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "YES\n");
    // The offending text stands one line below the record, after all those line feeds.
    EXPECT_EQ(run.errors, "screening: line " + std::to_string(line_feeds + 2) +
                              ", column 3: value 2 of record 2 is not a number: \"x 1 1\" (a "
                              "word: the input holds numbers only, with no header line)\n");
    EXPECT_LT(run.peak_memory_kib, peak_memory_limit_kib) << "peak resident memory in KiB";

    // On a line that many buffers hold, the column counts from its start, and
    // the excerpt is what the last of them holds.
    const child_run long_line = run_screening_with([](int descriptor) {
        write_all(descriptor, "\n100 10 1 19.99 5") &&
            write_repeated(descriptor, "\t ", white_space_bytes / 100) &&
            write_all(descriptor, "6 1 ,7");
    });
    ASSERT_FALSE(long_line.timed_out);
    EXPECT_EQ(long_line.output, "YES\n");
    EXPECT_EQ(long_line.errors, "screening: line 2, column " +
                                    std::to_string(16 + white_space_bytes / 100 + 5) +
                                    ": value 4 of record 2 is not a number: \",7\" (a comma: "
                                    "values are separated by white space, and the decimal point "
                                    "is a full stop)\n");
}

// A "NO" record (a tie) and a "YES" record, one value per line.
constexpr std::string_view two_records_by_line = "100\n10\n1\n20\n100\n10\n1\n19.99\n";
constexpr std::uint64_t million_lines = 1'000'000;

TEST(GiantInput, MillionOneValueLinesOverflowTheTable) {
    const child_run run = run_screening_with([](int descriptor) {
        std::string lines;
        for (std::uint64_t written = 0; written < million_lines; written += 8) {
            lines += two_records_by_line;
            if (lines.size() >= (1u << 16)) {
                if (!write_all(descriptor, lines)) return;  // the program has stopped reading
                lines.clear();
            }
        }
        write_all(descriptor, lines);
    });
    ASSERT_FALSE(run.timed_out);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, answers("NO\nYES\n", 4999) + "NO\n");
    // The 10,000th record starts on line 4 x 9,999 + 1.
    EXPECT_EQ(run.errors,
              "screening: line 39997: more than 9999 records before the closing record\n");
}

TEST(GiantInput, MillionOneValueLinesAfterTheClosingRecordAreNeverNeeded) {
    // 9,999 records and a closing one on 40,000 lines, then 960,000 more
    // lines from a writer that never closes the pipe.
    const child_run run = run_screening_with(
        [](int descriptor) {
            std::string lines;
            for (int record = 0; record < 9998; record += 2) lines += two_records_by_line;
            lines += "100\n10\n1\n20\n0\n0\n0\n0\n";
            for (std::uint64_t line = 40'000; line < million_lines; line += 8)
                lines += two_records_by_line;
            write_all(descriptor, lines);
        },
        true);
    ASSERT_FALSE(run.timed_out) << "the program waited for input after its closing record";
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.errors, "");
    EXPECT_EQ(run.output, answers("NO\nYES\n", 4999) + "NO\n");
}

// Records in several forms, spread over lines and split everywhere.
constexpr std::string_view assorted_records =
    "100 10 1 20\n"           // NO: a tie
    "120\n3.7\n3\n11\n"       // YES
    "0x1.9p6 0X1P3 -1 2e1\n"  // NO: a negative year count
    "  inf 5 1 10 "           // NO: an infinite threshold
    "120 nan 3 11\t"          // NO
    "1000 91.67 1 10\r\n"     // YES
    "1.000000059604644775390625000000000000000000000000000000000001 1.00000011920928955078125 1 "
    "1100\n"                   // NO
    "100 10 2.5 20 0 0 0 0\n"  // "2.5": 2 years, 0.5 per cent: YES; then the closing record "20 0 0
                               // 0"
    "this is never read\n";

TEST(DegenerateInput, OneBytePerWriteGivesTheSameAnswers) {
    const std::string expected = "NO\nYES\nNO\nNO\nNO\nYES\nNO\nYES\n";
    const child_run whole = run_screening_on(std::string(assorted_records));
    EXPECT_EQ(whole.output, expected);
    EXPECT_EQ(whole.status, 0);

    std::atomic<std::uint64_t> bytes_written{0};
    const child_run trickled = run_screening_with(
        [&](int descriptor) {
            for (const char byte : assorted_records) {
                // Each byte waits for the one before to be read, so that
                // every read the program makes gets a single byte (up to a
                // second per byte, so a stalled reader cannot stall us).
                for (int wait = 0; wait < 20000; ++wait) {
                    int unread = 0;
                    if (ioctl(descriptor, FIONREAD, &unread) != 0 || unread == 0) break;
                    pollfd reader_gone{descriptor, POLLOUT, 0};
                    if (poll(&reader_gone, 1, 0) > 0 && (reader_gone.revents & POLLERR) != 0) break;
                    const timespec pause{0, 50'000};
                    nanosleep(&pause, nullptr);
                }
                if (!write_all(descriptor, std::string_view(&byte, 1))) return;
                ++bytes_written;
            }
        },
        true);
    ASSERT_FALSE(trickled.timed_out) << "the program waited for input after its closing record";
    EXPECT_EQ(trickled.output, expected);
    EXPECT_EQ(trickled.errors, "");
    EXPECT_EQ(trickled.status, 0);
    EXPECT_GT(bytes_written.load(), assorted_records.size() - 40) << "the writer was not read";
}

// A string literal with its NUL bytes.
template <std::size_t size>
std::string with_nul_bytes(const char (&text)[size]) {
    return std::string(text, size - 1);
}

struct broken_input_case {
    const char* what;
    std::string input;
    const char* output;
    const char* errors;
    int status;
};

// Bytes that can never start a number, where a value should be: the list
// ends with one message, and the records before are answered.
const broken_input_case broken_inputs[] = {
    {"NUL byte as a value", with_nul_bytes("100 10 1 19.99\n5 \0 1 2\n"), "YES\n",
     "screening: line 2, column 3: value 2 of record 2 is not a number: \"\\x00 1 2\"\n", 1},
    {"NUL byte inside a token",
     with_nul_bytes("100 10 1 19.99\n12\0"
                    "34 1 2 3\n"),
     "YES\n",
     "screening: line 2, column 3: value 2 of record 2 is not a number: \"\\x0034 1 2 3\" (right "
     "after the previous value, with no white space between)\n",
     1},
    {"NUL byte after blank lines", with_nul_bytes("100 10 1 19.99\n\n\n\0 1 2 3\n"), "YES\n",
     "screening: line 4, column 1: value 1 of record 2 is not a number: \"\\x00 1 2 3\"\n", 1},
    {"NUL byte in the years place",
     with_nul_bytes("100 10 1 20\n100 10\n\0"
                    "1 20\n"),
     "NO\n", "screening: line 3, column 1: value 3 of record 2 is not a number: \"\\x001 20\"\n",
     1},
    {"NUL byte after a zero value", with_nul_bytes("100 10 1 19.99\n0 \0 1 2\n"), "YES\n", "", 0},
    {"0xff 0xfe", "100 10 1 19.99\n\xff\xfe 1 2 3\n", "YES\n",
     "screening: line 2, column 1: value 1 of record 2 is not a number: \"\\xff\\xfe 1 2 3\"\n", 1},
    {"two-byte character in the years place", "100 10 1 19.99\n1 2\n\xc3\xa9 4\n", "YES\n",
     "screening: line 3, column 1: value 3 of record 2 is not a number: \"\\xc3\\xa9 4\"\n", 1},
    {"no-break space between values",
     "100 10 1 19.99\n5\xc2\xa0"
     "6 1 1\n",
     "YES\n",
     "screening: line 2, column 2: value 2 of record 2 is not a number: \"\\xc2\\xa06 1 1\" (right "
     "after the previous value, with no white space between)\n",
     1},
    {"zero-width space before a value",
     "100 10 1 20\n1 2 3 \xe2\x80\x8b"
     "4\n",
     "NO\n",
     "screening: line 2, column 7: value 4 of record 2 is not a number: \"\\xe2\\x80\\x8b4\"\n", 1},
    {"byte order mark",
     "\xef\xbb\xbf"
     "1 2 3 4\n",
     "",
     "screening: line 1, column 1: value 1 of record 1 is not a number: \"\\xef\\xbb\\xbf1 2 3 4\" "
     "(a UTF-8 byte order mark)\n",
     1},
    {"lone continuation byte", "100 10 1 19.99\n\x80\n", "YES\n",
     "screening: line 2, column 1: value 1 of record 2 is not a number: \"\\x80\"\n", 1},
    {"overlong encoding of a slash", "100 10 1 19.99\n7 \xc0\xaf 1 1\n", "YES\n",
     "screening: line 2, column 3: value 2 of record 2 is not a number: \"\\xc0\\xaf 1 1\"\n", 1},
    {"encoded surrogate", "100 10 1 19.99\n7 8 9 \xed\xa0\x80\n", "YES\n",
     "screening: line 2, column 7: value 4 of record 2 is not a number: \"\\xed\\xa0\\x80\"\n", 1},
    {"truncated character at the end", "100 10 1 19.99\n7 8 9 \xe2\x82", "YES\n",
     "screening: line 2, column 7: value 4 of record 2 is not a number: \"\\xe2\\x82\"\n", 1},
    {"invalid byte in a later line than the record", "100 10 1 19.99\n7\n8\n\n\xf8 1\n", "YES\n",
     "screening: line 5, column 1: value 3 of record 2 is not a number: \"\\xf8 1\"\n", 1},
};

TEST(DegenerateInput, NulBytesAndInvalidUtf8WhereAValueShouldBe) {
    for (const broken_input_case& c : broken_inputs) {
        const child_run run = run_screening_on(c.input);
        ASSERT_FALSE(run.timed_out) << c.what;
        EXPECT_EQ(run.output, c.output) << c.what;
        EXPECT_EQ(run.errors, c.errors) << c.what;
        EXPECT_EQ(run.status, c.status) << c.what;
    }
}

}  // namespace
