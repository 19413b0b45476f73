// The shipped examples, run through the built program: every
// examples/<name>.txt on standard input must give exactly examples/<name>.out
// on standard output, nothing on standard error and status 0, whether the
// input is a regular file or a pipe.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

const fs::path examples_directory = fs::path(SCREENING_SOURCE_DIR) / "examples";

std::vector<std::string> names_with_extension(const std::string& extension) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(examples_directory))
        if (entry.is_regular_file() && entry.path().extension() == extension)
            names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string file_bytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string drain(int descriptor) {
    std::string bytes;
    char chunk[4096];
    for (;;) {
        const ssize_t got = read(descriptor, chunk, sizeof chunk);
        if (got > 0)
            bytes.append(chunk, static_cast<std::size_t>(got));
        else if (got == 0 || errno != EINTR)
            break;
    }
    close(descriptor);
    return bytes;
}

struct run_result {
    std::string standard_output;
    std::string standard_error;
    int exit_status;  // -1 when the program did not exit normally
};

// Runs the program with `standard_input` as its descriptor 0. The program
// writes its answers before any message, and a message is one short line, so
// draining standard output first cannot block it. Every descriptor of ours is
// close-on-exec: a write end of the input pipe left open in the program would
// keep its input from ever ending.
run_result run_program(int standard_input) {
    int output_pipe[2];
    int error_pipe[2];
    if (pipe2(output_pipe, O_CLOEXEC) != 0 || pipe2(error_pipe, O_CLOEXEC) != 0)
        return {"", "pipe failed", -1};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, standard_input, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output_pipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, error_pipe[1], STDERR_FILENO);
    // The test ignores SIGPIPE for its pipe writer; the program gets the
    // default disposition, as from a shell.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t default_signals;
    sigemptyset(&default_signals);
    sigaddset(&default_signals, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &default_signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

    char program[] = SCREENING_BINARY;
    char* arguments[] = {program, nullptr};
    pid_t child = 0;
    const int spawn_error =
        posix_spawn(&child, SCREENING_BINARY, &actions, &attributes, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(output_pipe[1]);
    close(error_pipe[1]);

    run_result result{drain(output_pipe[0]), drain(error_pipe[0]), -1};
    if (spawn_error != 0) {
        result.standard_error = "cannot start " SCREENING_BINARY;
        return result;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
    return result;
}

run_result run_on_file(const fs::path& input_path) {
    const int input = open(input_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (input < 0) return {"", "cannot open " + input_path.string(), -1};
    run_result result = run_program(input);
    close(input);
    return result;
}

// The writer stops at a broken pipe: the program reads nothing after the
// closing record and may exit before the rest is written.
run_result run_through_pipe(const std::string& input_bytes) {
    int input_pipe[2];
    if (pipe2(input_pipe, O_CLOEXEC) != 0) return {"", "pipe failed", -1};
    signal(SIGPIPE, SIG_IGN);
    std::thread writer([&input_bytes, write_end = input_pipe[1]] {
        std::size_t written = 0;
        while (written < input_bytes.size()) {
            const ssize_t count =
                write(write_end, input_bytes.data() + written, input_bytes.size() - written);
            if (count > 0)
                written += static_cast<std::size_t>(count);
            else if (count < 0 && errno != EINTR)
                break;
        }
        close(write_end);
    });
    run_result result = run_program(input_pipe[0]);
    close(input_pipe[0]);
    writer.join();
    return result;
}

TEST(examples, every_input_has_its_expected_output_and_every_output_its_input) {
    const std::vector<std::string> inputs = names_with_extension(".txt");
    const std::vector<std::string> outputs = names_with_extension(".out");
    ASSERT_FALSE(inputs.empty()) << "no examples in " << examples_directory;
    EXPECT_EQ(inputs, outputs);
}

class example_run : public testing::TestWithParam<std::string> {};

TEST_P(example_run, from_a_regular_file_gives_exactly_the_expected_answers) {
    const fs::path input_path = examples_directory / (GetParam() + ".txt");
    const run_result result = run_on_file(input_path);
    EXPECT_EQ(result.standard_output, file_bytes(examples_directory / (GetParam() + ".out")));
    EXPECT_EQ(result.standard_error, "");
    EXPECT_EQ(result.exit_status, 0);
}

TEST_P(example_run, through_a_pipe_gives_exactly_the_expected_answers) {
    const run_result result =
        run_through_pipe(file_bytes(examples_directory / (GetParam() + ".txt")));
    EXPECT_EQ(result.standard_output, file_bytes(examples_directory / (GetParam() + ".out")));
    EXPECT_EQ(result.standard_error, "");
    EXPECT_EQ(result.exit_status, 0);
}

std::string test_name(const testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    for (char& character : name)
        if (!std::isalnum(static_cast<unsigned char>(character))) character = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(shipped, example_run, testing::ValuesIn(names_with_extension(".txt")),
                         test_name);

}  // namespace
