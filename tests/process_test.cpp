// The built program from outside: exact bytes on standard output and
// standard error and the exit status, for normal lists, for each way a list
// can end badly, for pipes held open, for a seekable input shared with the
// next reader, and for failing reads and writes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "escaped.hpp"
#include "process.hpp"
#include "records.hpp"
#include "verdict.hpp"

namespace {

using namespace std::string_literals;

constexpr int answers_limit = max_records - 1;

std::string how_it_ended(const process_result& r) {
    if (!r.start_failure.empty()) return "not started: " + r.start_failure;
    if (r.timed_out) return "killed after the time limit";
    if (r.signal != 0) return "killed by signal " + std::to_string(r.signal);
    return "exit status " + std::to_string(r.status);
}

// Output, messages and status all at once, with the input in the message.
void expect_run(const process_result& r, const std::string& output, const std::string& errors,
                int status, const std::string& context) {
    ASSERT_TRUE(r.exited) << context << ": " << how_it_ended(r) << ", errors \""
                          << escaped(r.errors) << "\"";
    EXPECT_EQ(r.status, status) << context;
    EXPECT_EQ(r.errors, errors) << context;
    EXPECT_TRUE(r.output == output) << context << ": output \"" << escaped(r.output)
                                    << "\", expected \"" << escaped(output) << "\"";
}

std::string repeated(const std::string& text, int count) {
    std::string out;
    for (int k = 0; k < count; ++k) out += text;
    return out;
}

// A directory of files for one test, removed afterwards.
struct scratch_directory {
    std::string path;
    scratch_directory() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                              "/screening-test-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data()) != nullptr) path = name.data();
    }
    ~scratch_directory() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    std::string file(const std::string& name, const std::string& contents) const {
        const std::string file_path = path + "/" + name;
        std::ofstream(file_path, std::ios::binary) << contents;
        return file_path;
    }
};

// ---------------------------------------------------------------------------
// Lists that close normally: exact output, nothing on standard error,
// status 0.

struct normal_case {
    const char* name;
    std::string input;
    std::string output;
};

const normal_case normal_cases[] = {
    {"terminator only", "0 0 0 0\n", ""},
    {"terminator only, no line feed", "0 0 0 0", ""},
    {"the two-record example", "100 10 1 20\n1000 91.67 1 10\n0 0 0 0\n", "NO\nYES\n"},
    {"the verdict table",
     "100 10 1 20\n100 10 1 19.99\n120 3.7 3 11\n1000 91.67 1 10\n1000 91.66 1 10\n100 10 -1 20\n"
     "-100 -10 1 20\n-100 -9 1 20\n120 nan 3 11\n120 inf 3 11\n120 inf -3 11\ninf 5 1 10\n"
     "3e38 3e38 1000 1\n0 0 0 0\n",
     "NO\nYES\nYES\nYES\nNO\nNO\nNO\nYES\nNO\nYES\nNO\nNO\nYES\n"},
    {"a nan record is answered and the list goes on",
     "120 nan 3 11\n100 10 1 19.99\nnan nan 1 nan\n0 0 0 0\n", "NO\nYES\nNO\n"},
    {"inf and -inf do not close the list", "100 inf 1 20\n100 10 1 -inf\n-inf 10 1 20\n0 0 0 0",
     "YES\nYES\nYES\n"},
    {"negative values are answered", "-100 -9 1 20\n100 10 -1 20\n-0.5 -1 -2 -3\n0 0 0 0",
     "YES\nNO\nYES\n"},
    {"text after the terminator changes nothing",
     "100 10 1 19.99\n0 0 0 0\n100 10 1 19.99\nabc \xff\x01 nan\n1e-46 1 1 1\n"s, "YES\n"},
    {"a terminator in the middle of a line", "100 10 1 19.99 5 0 3 2 100 10 1 19.99\n", "YES\n"},
    {"zero years", "100 10 1 19.99\n100 10 0 20\n100 10 1 19.99\n", "YES\n"},
    {"zero percent", "100 10 1 19.99\n100 10 1 0\n100 10 1 19.99\n", "YES\n"},
    {"minus zero", "100 10 1 19.99\n-0 10 1 20\n100 10 1 19.99\n", "YES\n"},
    {"minus zero point zero", "100 10 1 19.99\n100 -0.0 1 20\n100 10 1 19.99\n", "YES\n"},
    {"1e-46 is zero", "100 10 1 19.99\n100 1e-46 1 20\n100 10 1 19.99\n", "YES\n"},
    {"1e-40 is not zero", "100 10 1 19.99\n100 1e-40 1 20\n100 10 1 19.99\n0 0 0 0",
     "YES\nNO\nYES\n"},
    {"one record over four lines", "100\n10\n1\n19.99\n0\n0\n0\n0\n", "YES\n"},
    {"two records on one line", "100 10 1 19.99 100 10 1 20\n0 0 0 0\n", "YES\nNO\n"},
    {"records split across lines", "100 10\n1 19.99 100\n10 1\n20 0 0\n0 0\n", "YES\nNO\n"},
    {"a fraction in the years", "100 10 2.5 20\n0 0 0 0\n", "YES\n"},
    {"tabs, carriage returns and form feeds", "\t100\r\n10\f1\v19.99\r\n0 0 0 0\r\n", "YES\n"},
    {"years beyond 32 bits saturate",
     "1 1 3000000000 1\n1 1 -3000000000 1\n1 -1 -3000000000 1\n0 0 0 0", "YES\nNO\nYES\n"},
    {"months beyond 32 bits", "1 1 200000000 1\n1 1 178956971 1\n1 -1 -178956971 1\n0 0 0 0",
     "YES\nYES\nYES\n"},
    {"hexadecimal and exponent notation", "0x64 0xAp0 1 0x1.3fd70ap4\n1e2 1E1 1 2e1\n0 0 0 0",
     "YES\nNO\n"},
    {"end of input between records", "100 10 1 20\n1000 91.67 1 10\n", "NO\nYES\n"},
    {"end of input right after a value", "100 10 1 19.99", "YES\n"},
    {"empty input", "", ""},
    {"white space only", " \n\n\t ", ""},
    {"the end of input after a zero", "100 10 1 19.99\n5 0", "YES\n"},
    {"unusable text after a zero", "100 10 1 19.99\n5 0 abc", "YES\n"},
};

}  // namespace

TEST(Run, ListsThatCloseNormally) {
    for (const normal_case& c : normal_cases) {
        expect_run(run_screening(c.input), c.output, "", 0, c.name);
    }
}

// Arguments, the environment and the locale make no difference.
TEST(Run, IgnoresArgumentsAndLocale) {
    const std::string input = "100 10 1 19.99\n1000 91.66 1 10\n0 0 0 0\n";
    expect_run(run_process({screening_binary(), "--help", "-x", "records.txt"}, input_bytes(input)),
               "YES\nNO\n", "", 0, "with arguments");
    expect_run(
        run_shell("LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8 LC_NUMERIC=de_DE.UTF-8 exec \"$0\" -v",
                  input_bytes(input)),
        "YES\nNO\n", "", 0, "with a German locale");
}

// ---------------------------------------------------------------------------
// The capacity.

namespace {

// Record k answers YES when its bit in `pattern` is set.
std::string records_with_answers(int count, std::uint64_t pattern, std::string& answers) {
    std::string input;
    for (int k = 0; k < count; ++k) {
        const bool yes = ((pattern >> (k % 64)) & 1) != 0;
        input += yes ? "100 10 1 19.99\n" : "100 10 1 20\n";
        answers += yes ? "YES\n" : "NO\n";
    }
    return input;
}

}  // namespace

TEST(Run, NineThousandNineHundredNinetyNineRecordsAndATerminator) {
    std::string answers;
    const std::string input =
        records_with_answers(answers_limit, 0x9e3779b97f4a7c15ull, answers) + "0 0 0 0\n";
    expect_run(run_screening(input), answers, "", 0, "9,999 mixed records");
    // All YES: the longest output there can be.
    std::string all_yes;
    expect_run(run_screening(records_with_answers(answers_limit, ~0ull, all_yes) + "0 0 0 0"),
               all_yes, "", 0, "9,999 YES records");
}

TEST(Run, TenThousandRecordsWithoutAZero) {
    std::string answers;
    const std::string input = records_with_answers(max_records, 0x0123456789abcdefull, answers);
    // Only the first 9,999 are answered; the 10,000th starts on line 10,000.
    std::string first_answers;
    records_with_answers(answers_limit, 0x0123456789abcdefull, first_answers);
    expect_run(run_screening(input + "100 10 1 20\n0 0 0 0\n"), first_answers,
               "screening: line 10000: more than 9999 records before the closing record\n", 1,
               "10,001 records");
    expect_run(run_screening(input), first_answers,
               "screening: line 10000: more than 9999 records before the closing record\n", 1,
               "10,000 records");
    // Two records per line: the 10,000th starts on line 5,000.
    std::string paired;
    for (int k = 0; k < max_records; k += 2) paired += "100 10 1 19.99 100 10 1 19.99\n";
    expect_run(run_screening(paired), repeated("YES\n", answers_limit),
               "screening: line 5000: more than 9999 records before the closing record\n", 1,
               "two per line");
    // A 10,000th record that closes the list is fine.
    expect_run(run_screening(repeated("1 1 1 1\n", answers_limit) + "1 1 1 0\n"),
               repeated("YES\n", answers_limit), "", 0, "closing 10,000th record");
}

// ---------------------------------------------------------------------------
// Lists ended by unusable input: the records before are answered, one line
// on standard error, status 1.

namespace {

struct failing_case {
    const char* name;
    std::string input;
    std::string output;
    std::string message;
};

const failing_case failing_cases[] = {
    {"a letter starting a record", "100 10 1 20\nabc\n", "NO\n",
     "line 2, column 1: value 1 of record 2 is not a number: \"abc\" (a word: the input holds "
     "numbers only, with no header line)"},
    {"a letter in the years", "100 10 x 20\n", "",
     "line 1, column 8: value 3 of record 1 is not a number: \"x 20\" (a word: the input holds "
     "numbers only, with no header line)"},
    {"a broken nan", "100 10 1 19.99\n1 2 3 nax", "YES\n",
     "line 2, column 7: value 4 of record 2 is not a number: \"nax\" (a word: the input holds "
     "numbers only, with no header line)"},
    {"a sign alone", "100 10 1 19.99\n\n\n1 - 3 4", "YES\n",
     "line 4, column 3: value 2 of record 2 is not a number: \"- 3 4\""},
    {"a value on a later line than its record", "100 10 1 19.99\n1\n2\n\n?", "YES\n",
     "line 5, column 1: value 3 of record 2 is not a number: \"?\""},
    {"a zero byte", "100 10 1 19.99\n1 2\0 3"s, "YES\n",
     "line 2, column 4: value 3 of record 2 is not a number: \"\\x00 3\" (right after the previous "
     "value, with no white space between)"},
    // What users most often mistype, shown where and as it stands.
    {"a letter right after a number", "100 10 1 20\n1000 91.6x 1 10\n", "NO\n",
     "line 2, column 10: value 3 of record 2 is not a number: \"x 1 10\" (right after the "
     "previous value, with no white space between)"},
    {"a byte order mark",
     "\xef\xbb\xbf"
     "1000 91.67 1 10\n",
     "",
     "line 1, column 1: value 1 of record 1 is not a number: \"\\xef\\xbb\\xbf1000 91.67 1 10\" (a "
     "UTF-8 byte order mark)"},
    {"a decimal comma", "1000,50 91.67 1 10\n", "",
     "line 1, column 5: value 2 of record 1 is not a number: \",50 91.67 1 10\" (a comma: values "
     "are separated by white space, and the decimal point is a full stop)"},
    {"values separated by semicolons", "1000;91.67;1;10\n", "",
     "line 1, column 5: value 2 of record 1 is not a number: \";91.67;1;10\" (a semicolon: values "
     "are separated by white space)"},
    {"a header line", "base monthly years percent\n1000 91.67 1 10\n", "",
     "line 1, column 1: value 1 of record 1 is not a number: \"base monthly years perce\"... (a "
     "word: the input holds numbers only, with no header line)"},
    {"bytes that are escaped", "1 2 3 4\r\n\t\x01\x7f\"\\\xc3\xa9\r\n", "YES\n",
     "line 2, column 2: value 1 of record 2 is not a number: \"\\x01\\x7f\\\"\\\\\\xc3\\xa9\\r\""},
    {"input ends inside a record", "100 10 1 20\n\n100 10", "NO\n",
     "line 3: input ends inside record 2"},
    {"input ends inside the first record", "100 10 1", "", "line 1: input ends inside record 1"},
    {"input ends inside a record spread over lines", "1 1 1 1\n\n\n100\n10\n1\n", "YES\n",
     "line 4: input ends inside record 2"},
};

}  // namespace

TEST(Run, ListsEndedByUnusableInput) {
    for (const failing_case& c : failing_cases) {
        expect_run(run_screening(c.input), c.output, "screening: " + c.message + "\n", 1, c.name);
    }
}

// ---------------------------------------------------------------------------
// Failing reads and writes.

TEST(Run, ADirectoryAsInputIsAReadError) {
    expect_run(run_screening(input_file("/")), "", "screening: read error: Is a directory\n", 1,
               "< /");
}

TEST(Run, AFullDeviceAsOutputIsAWriteError) {
    expect_run(run_screening(input_bytes("100 10 1 20\n0 0 0 0\n"), output_file("/dev/full")), "",
               "screening: write error: No space left on device\n", 1, "> /dev/full");
    // No answers, nothing to write, nothing to fail.
    expect_run(run_screening(input_bytes("0 0 0 0\n"), output_file("/dev/full")), "", "", 0,
               "terminator only > /dev/full");
    // Both problems are told.
    const process_result both =
        run_screening(input_bytes("100 10 1 20\n1 2 x"), output_file("/dev/full"));
    ASSERT_TRUE(both.exited) << how_it_ended(both);
    EXPECT_EQ(both.status, 1);
    EXPECT_NE(both.errors.find(
                  "screening: line 2, column 5: value 3 of record 2 is not a "
                  "number: \"x\" (a word: the input holds numbers only, with no header line)\n"),
              std::string::npos)
        << both.errors;
    EXPECT_NE(both.errors.find("screening: write error: No space left on device\n"),
              std::string::npos)
        << both.errors;
}

TEST(Run, ClosedStandardStreams) {
    expect_run(run_shell("exec \"$0\" <&-", input_bytes("100 10 1 20\n0 0 0 0\n")), "",
               "screening: read error: Bad file descriptor\n", 1, "standard input closed");
    expect_run(run_shell("exec \"$0\" >&-", input_bytes("100 10 1 20\n0 0 0 0\n")), "",
               "screening: write error: Bad file descriptor\n", 1, "standard output closed");
}

TEST(Run, OutputToAFile) {
    scratch_directory directory;
    ASSERT_FALSE(directory.path.empty());
    const std::string path = directory.file("answers.txt", "old contents that must go\n");
    expect_run(
        run_screening(input_bytes("100 10 1 20\n1000 91.67 1 10\n0 0 0 0\n"), output_file(path)),
        "", "", 0, "> file");
    std::ifstream file(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "NO\nYES\n");
}

// ---------------------------------------------------------------------------
// A writer that keeps the pipe open after the closing record still gets its
// answers, and the program ends: it never waits for more input.

TEST(Run, PipeHeldOpenAfterTheClosingRecord) {
    struct held_case {
        const char* name;
        std::string input;
        std::string output;
    };
    const held_case cases[] = {
        {"terminator line", "100 10 1 20\n1000 91.67 1 10\n0 0 0 0\n", "NO\nYES\n"},
        {"terminator followed by more records", "100 10 1 19.99\n0 0 0 0 100 10 1 19.99 ", "YES\n"},
        {"zero and then unusable text", "100 10 1 19.99\n5 0 x", "YES\n"},
        {"terminator only", "0 0 0 0\n", ""},
    };
    for (const held_case& c : cases) {
        SCOPED_TRACE(c.name);
        running_process process = start_process({screening_binary()}, input_pipe(), output_pipe());
        ASSERT_TRUE(process.start_failure.empty()) << process.start_failure;
        ASSERT_TRUE(write_input(process, c.input, 10'000));
        EXPECT_TRUE(read_output(process, c.output.size(), 10'000))
            << "only \"" << escaped(process.output_text) << "\"";
        EXPECT_TRUE(wait_for_exit(process, 10'000)) << "still running with its input open";
        const process_result result = finish_process(process, 1'000);
        expect_run(result, c.output, "", 0, c.name);
    }
}

// Nothing is answered before the closing record has arrived. (A program
// that answered early would be caught only if it did so within the wait.)
TEST(Run, NoAnswerBeforeTheClosingRecord) {
    running_process process = start_process({screening_binary()}, input_pipe(), output_pipe());
    ASSERT_TRUE(process.start_failure.empty()) << process.start_failure;
    ASSERT_TRUE(write_input(process, "100 10 1 20\n1000 91.67 1 10\n0 0 0 0", 10'000));
    EXPECT_FALSE(read_output(process, 1, 300))
        << "answered early: \"" << escaped(process.output_text) << "\"";
    // The last 0 is not complete until a character follows it.
    ASSERT_TRUE(write_input(process, " ", 10'000));
    EXPECT_TRUE(read_output(process, 7, 10'000));
    EXPECT_TRUE(wait_for_exit(process, 10'000));
    expect_run(finish_process(process, 1'000), "NO\nYES\n", "", 0, "written in two parts");
}

// Descriptors left in non-blocking mode by whoever started the program:
// an input that is not ready yet is waited for, and so is an output pipe
// that is full, never taken for a failure.
TEST(Run, NonBlockingInputIsWaitedFor) {
    running_process process =
        start_process({screening_binary()}, nonblocking(input_pipe()), output_pipe());
    ASSERT_TRUE(process.start_failure.empty()) << process.start_failure;
    ASSERT_TRUE(write_input(process, "100 10 1 20\n1000 91.", 10'000));
    // Whatever the program reads now is an incomplete record.
    EXPECT_FALSE(read_output(process, 1, 200));
    ASSERT_TRUE(write_input(process, "67 1 10\n0 0 0 0\n", 10'000));
    EXPECT_TRUE(wait_for_exit(process, 10'000));
    expect_run(finish_process(process, 1'000), "NO\nYES\n", "", 0, "non-blocking input");
}

TEST(Run, FullNonBlockingOutputIsWaitedFor) {
    scratch_directory directory;
    ASSERT_FALSE(directory.path.empty());
    std::string answers;
    const std::string path = directory.file(
        "input.txt",
        records_with_answers(answers_limit, 0xfedcba9876543210ull, answers) + "0 0 0 0");
    // A pipe of one page that nobody reads for a while: the answers, some
    // 37 KB, cannot go out in one write.
    running_process process =
        start_process({screening_binary()}, input_file(path), nonblocking(output_pipe(), 4096));
    ASSERT_TRUE(process.start_failure.empty()) << process.start_failure;
    const timespec pause{0, 300'000'000};
    nanosleep(&pause, nullptr);
    expect_run(finish_process(process), answers, "", 0, "non-blocking output");
}

// ---------------------------------------------------------------------------
// A seekable input is left just after the closing record, so the next
// reader of the same file descriptor gets exactly the rest.

TEST(Run, SeekableInputIsLeftAfterTheClosingRecord) {
    scratch_directory directory;
    ASSERT_FALSE(directory.path.empty());
    struct seek_case {
        const char* name;
        std::string head;  // read by the program
        std::string rest;  // left for cat
        std::string output;
        std::string errors;
        int status;
    };
    std::string long_head, long_answers;
    // The closing record straddles the end of the first 64 KiB, and the rest
    // is longer than a buffer too.
    long_head = records_with_answers(4000, 0xf0f0f0f0f0f0f0f0ull, long_answers);
    ASSERT_LT(long_head.size(), input_buffer_size - 3);
    long_head.append(input_buffer_size - 3 - long_head.size(), ' ');
    long_head += "0 0 0 0";
    std::string ten_thousand_answers;
    const std::string ten_thousand =
        records_with_answers(max_records, 0x5555ull, ten_thousand_answers);
    std::string first_answers;
    records_with_answers(answers_limit, 0x5555ull, first_answers);
    const seek_case cases[] = {
        {"the two-record example", "100 10 1 20\n1000 91.67 1 10\n0 0 0 0",
         "\nrest line\n12 3 4 5\n", "NO\nYES\n", "", 0},
        {"a closing record across the buffer's end", long_head,
         "\n" + repeated("after the list\n", 8000), long_answers, "", 0},
        {"unusable text is left unread", "100 10 1 20\n", "abc def\n", "NO\n",
         "screening: line 2, column 1: value 1 of record 2 is not a number: \"abc def\" (a word: "
         "the input holds numbers only, with no header line)\n",
         1},
        {"a broken nan is taken as far as it goes", "100 10 1 20\n1 2 3 nax", " rest\n", "NO\n",
         "screening: line 2, column 7: value 4 of record 2 is not a number: \"nax rest\" (a word: "
         "the input holds numbers only, with no header line)\n",
         1},
        {"nothing after the 10,000th record is read",
         ten_thousand.substr(0, ten_thousand.size() - 1), "\n1 1 1 1\n0 0 0 0\n", first_answers,
         "screening: line 10000: more than 9999 records before the closing record\n", 1},
    };
    for (const seek_case& c : cases) {
        const std::string path = directory.file("input.txt", c.head + c.rest);
        // The shell ends with the program's status, after cat has run.
        const process_result r =
            run_shell("\"$0\"; status=$?; cat; exit $status", input_file(path));
        expect_run(r, c.output + c.rest, c.errors, c.status, c.name);
    }
}

// ---------------------------------------------------------------------------
// Generated lists, answered by the library on values read with strtof and
// strtol: the run must answer every record before the closing one, in order.

namespace {

struct generated_run {
    std::string input;
    std::string output;
};

generated_run generate_run(std::mt19937_64& random) {
    static const char* const floats[] = {"100", "10",    "19.99", "20",   "91.67", "1000",
                                         "-5",  "3.7",   "120",   "11",   "inf",   "-inf",
                                         "nan", "1e-40", "0.5",   "1e30", "-1e-3", "7"};
    static const char* const years[] = {"1",          "2",           "-1",        "3", "12",
                                        "3000000000", "-3000000000", "178956971", "40"};
    static const char* const separators[] = {" ", "\n", "\t", " \n", "\r\n"};
    static const char* const zeros[] = {"0", "-0", "0.0", "1e-46"};
    static record_table table;
    generated_run run;
    const int count = static_cast<int>(random() % 200);
    for (int k = 0; k < count; ++k) {
        const char* tokens[4] = {
            floats[random() % std::size(floats)], floats[random() % std::size(floats)],
            years[random() % std::size(years)], floats[random() % std::size(floats)]};
        for (const char* token : tokens) {
            run.input += token;
            run.input += separators[random() % std::size(separators)];
        }
        table.base_amount[0] = std::strtof(tokens[0], nullptr);
        table.monthly_amount[0] = std::strtof(tokens[1], nullptr);
        const long year = std::strtol(tokens[2], nullptr, 10);
        table.years[0] = static_cast<std::int32_t>(year > INT32_MAX   ? INT32_MAX
                                                   : year < INT32_MIN ? INT32_MIN
                                                                      : year);
        table.percent[0] = std::strtof(tokens[3], nullptr);
        table.record_count = 2;
        run.output += record_verdict(table, 0) ? "YES\n" : "NO\n";
    }
    if (random() % 4 != 0) {
        const int zero_at = static_cast<int>(random() % 4);
        for (int v = 0; v < 4; ++v) {
            run.input += v == zero_at ? (v == 2 ? "0" : zeros[random() % std::size(zeros)]) : "5";
            run.input += separators[random() % std::size(separators)];
        }
        run.input += "100 10 1 19.99\n";
    }
    return run;
}

}  // namespace

TEST(Run, GeneratedListsAreAnsweredInOrder) {
    const char* seed_text = std::getenv("SCREENING_TEST_SEED");
    const std::uint64_t seed =
        seed_text != nullptr ? std::strtoull(seed_text, nullptr, 0) : 0xabcdef12ull;
    std::mt19937_64 random(seed);
    for (int n = 0; n < 25; ++n) {
        const generated_run run = generate_run(random);
        expect_run(run_screening(run.input), run.output, "", 0,
                   "generated list " + std::to_string(n) + " (seed " + std::to_string(seed) +
                       "): \"" + escaped(run.input) + "\"");
    }
}
