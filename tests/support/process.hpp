// Running a program as a child process with chosen standard streams, for
// tests that look at the built program from outside: the exact bytes on
// standard output and standard error, and how the process ended.
//
// Standard input comes from bytes held here, from a file, or from a pipe the
// test keeps writing to (and may keep open); standard output goes to a pipe
// that is captured or to a given path such as /dev/full. Standard error is
// always captured. Every wait has a time limit, so a program that hangs
// fails its test instead of stalling the suite.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

// The program under test. SCREENING_BINARY in the environment wins, so the
// same tests can run a cross-built binary through a wrapper that starts it
// under an emulator.
inline std::string screening_binary() {
    const char* from_environment = std::getenv("SCREENING_BINARY");
    if (from_environment != nullptr && *from_environment != '\0') return from_environment;
#ifdef SCREENING_BINARY
    return SCREENING_BINARY;
#else
    return {};
#endif
}

// Generous: under an emulator a start alone can take a good fraction of a second.
inline constexpr int default_time_limit_ms = 60'000;

enum class input_kind { bytes, file, held_pipe };
enum class output_kind { pipe, file };

struct child_input {
    input_kind kind;
    std::string bytes_or_path;
    bool nonblocking = false;  // the child's end of a pipe is in O_NONBLOCK mode
};

struct child_output {
    output_kind kind;
    std::string path;
    bool nonblocking = false;  // the child's end of the pipe is in O_NONBLOCK mode
    int pipe_capacity = 0;     // bytes the pipe holds (F_SETPIPE_SZ), 0 for the default
};

// The bytes are written while the child runs, then the pipe is closed.
inline child_input input_bytes(std::string bytes) { return {input_kind::bytes, std::move(bytes)}; }
inline child_input input_file(std::string path) { return {input_kind::file, std::move(path)}; }
// The test writes with write_input() and decides when (or whether) to close.
inline child_input input_pipe() { return {input_kind::held_pipe, {}}; }

inline child_output output_pipe() { return {output_kind::pipe, {}}; }
inline child_output output_file(std::string path) { return {output_kind::file, std::move(path)}; }

// For programs that must cope with a descriptor left non-blocking by whoever
// started them, and with a reader slower than their writes.
inline child_input nonblocking(child_input input) {
    input.nonblocking = true;
    return input;
}
inline child_output nonblocking(child_output output, int pipe_capacity = 0) {
    output.nonblocking = true;
    output.pipe_capacity = pipe_capacity;
    return output;
}

struct running_process {
    pid_t pid = -1;
    int input = -1;   // write end of the child's standard input, when it is a pipe
    int output = -1;  // read end of the child's standard output, when it is a pipe
    int errors = -1;  // read end of the child's standard error
    bool close_input_when_written = false;
    std::string pending_input;  // accepted by write_input() but not yet taken by the pipe
    std::string output_text;
    std::string error_text;
    bool reaped = false;
    int wait_status = 0;
    std::string start_failure;  // why the child could not be started, if it could not
};

struct process_result {
    std::string output;   // standard output, when it was a pipe
    std::string errors;   // standard error
    bool exited = false;  // ended by exit(), as opposed to a signal or the time limit
    int status = -1;      // the exit status, when exited
    int signal = 0;       // the terminating signal, or 0
    bool timed_out = false;
    std::string start_failure;
};

namespace process_detail {

inline long long now_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

inline void close_descriptor(int& descriptor) {
    if (descriptor >= 0) close(descriptor);
    descriptor = -1;
}

inline void try_reap(running_process& process) {
    if (process.reaped || process.pid < 0) return;
    int status = 0;
    const pid_t result = waitpid(process.pid, &status, WNOHANG);
    if (result == process.pid) {
        process.reaped = true;
        process.wait_status = status;
    }
}

// Moves bytes between the test and the child for at most `wait_ms`
// milliseconds of waiting; returns early as soon as anything happened.
inline void pump(running_process& process, int wait_ms) {
    pollfd watched[3];
    int count = 0;
    int input_slot = -1, output_slot = -1, errors_slot = -1;
    if (process.input >= 0 && !process.pending_input.empty()) {
        input_slot = count;
        watched[count++] = {process.input, POLLOUT, 0};
    }
    if (process.output >= 0) {
        output_slot = count;
        watched[count++] = {process.output, POLLIN, 0};
    }
    if (process.errors >= 0) {
        errors_slot = count;
        watched[count++] = {process.errors, POLLIN, 0};
    }
    if (count == 0) {
        // Only the exit itself is left to wait for.
        try_reap(process);
        if (!process.reaped) {
            const timespec pause{0, 1'000'000};
            nanosleep(&pause, nullptr);
        }
        return;
    }
    const int ready = poll(watched, static_cast<nfds_t>(count), wait_ms);
    if (ready <= 0) return;
    if (input_slot >= 0 && watched[input_slot].revents != 0) {
        const ssize_t written =
            write(process.input, process.pending_input.data(), process.pending_input.size());
        if (written > 0) {
            process.pending_input.erase(0, static_cast<std::size_t>(written));
        } else if (written < 0 && errno != EAGAIN && errno != EINTR) {
            // The child is gone or has closed its input: the rest is never read.
            process.pending_input.clear();
            close_descriptor(process.input);
        }
        if (process.pending_input.empty() && process.close_input_when_written)
            close_descriptor(process.input);
    }
    const auto drain = [](int& descriptor, short events, std::string& into) {
        if ((events & (POLLIN | POLLHUP | POLLERR)) == 0) return;
        char block[65536];
        const ssize_t got = read(descriptor, block, sizeof block);
        if (got > 0)
            into.append(block, static_cast<std::size_t>(got));
        else if (got == 0 || (errno != EAGAIN && errno != EINTR))
            close_descriptor(descriptor);
    };
    if (output_slot >= 0) drain(process.output, watched[output_slot].revents, process.output_text);
    if (errors_slot >= 0) drain(process.errors, watched[errors_slot].revents, process.error_text);
}

}  // namespace process_detail

// Starts argv[0] (looked up in PATH when it has no slash).
inline running_process start_process(const std::vector<std::string>& argv, const child_input& input,
                                     const child_output& output) {
    using namespace process_detail;
    running_process process;
    // A child that stops reading must not kill the test with SIGPIPE.
    signal(SIGPIPE, SIG_IGN);

    int input_ends[2] = {-1, -1}, output_ends[2] = {-1, -1}, errors_ends[2] = {-1, -1};
    int input_source = -1, output_target = -1;
    if (input.kind == input_kind::file) {
        input_source = open(input.bytes_or_path.c_str(), O_RDONLY | O_CLOEXEC);
        if (input_source < 0) {
            process.start_failure =
                "cannot open " + input.bytes_or_path + ": " + std::strerror(errno);
            return process;
        }
    } else if (pipe2(input_ends, O_CLOEXEC) != 0) {
        process.start_failure = std::string("pipe: ") + std::strerror(errno);
        return process;
    }
    if (output.kind == output_kind::file) {
        output_target = open(output.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (output_target < 0) {
            process.start_failure = "cannot open " + output.path + ": " + std::strerror(errno);
        }
    } else if (pipe2(output_ends, O_CLOEXEC) != 0) {
        process.start_failure = std::string("pipe: ") + std::strerror(errno);
    }
    if (process.start_failure.empty() && pipe2(errors_ends, O_CLOEXEC) != 0)
        process.start_failure = std::string("pipe: ") + std::strerror(errno);
    if (input.nonblocking && input_ends[0] >= 0)
        fcntl(input_ends[0], F_SETFL, fcntl(input_ends[0], F_GETFL) | O_NONBLOCK);
    if (output_ends[1] >= 0) {
        if (output.pipe_capacity > 0) fcntl(output_ends[1], F_SETPIPE_SZ, output.pipe_capacity);
        if (output.nonblocking)
            fcntl(output_ends[1], F_SETFL, fcntl(output_ends[1], F_GETFL) | O_NONBLOCK);
    }

    std::vector<char*> arguments;
    for (const std::string& argument : argv)
        arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);

    if (process.start_failure.empty()) process.pid = fork();
    if (process.pid == 0) {
        // In the child: only async-signal-safe calls until exec.
        signal(SIGPIPE, SIG_DFL);
        const int child_input_end = input_source >= 0 ? input_source : input_ends[0];
        const int child_output_end = output_target >= 0 ? output_target : output_ends[1];
        if (dup2(child_input_end, STDIN_FILENO) < 0 || dup2(child_output_end, STDOUT_FILENO) < 0 ||
            dup2(errors_ends[1], STDERR_FILENO) < 0)
            _exit(126);
        execvp(arguments[0], arguments.data());
        const char* reason = std::strerror(errno);
        // Best effort: the status 127 tells the parent in any case. (A cast to
        // void does not quiet warn_unused_result under _FORTIFY_SOURCE.)
        const char* const pieces[] = {"cannot run ", arguments[0], ": ", reason, "\n"};
        for (const char* piece : pieces)
            if (write(STDERR_FILENO, piece, std::strlen(piece)) < 0) break;
        _exit(127);
    }
    if (process.pid < 0 && process.start_failure.empty())
        process.start_failure = std::string("fork: ") + std::strerror(errno);

    // The child's ends are the child's alone.
    close_descriptor(input_source);
    close_descriptor(output_target);
    close_descriptor(input_ends[0]);
    close_descriptor(output_ends[1]);
    close_descriptor(errors_ends[1]);
    if (process.pid < 0) {
        close_descriptor(input_ends[1]);
        close_descriptor(output_ends[0]);
        close_descriptor(errors_ends[0]);
        return process;
    }
    process.input = input_ends[1];
    process.output = output_ends[0];
    process.errors = errors_ends[0];
    for (const int descriptor : {process.input, process.output, process.errors})
        if (descriptor >= 0) fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) | O_NONBLOCK);
    if (input.kind == input_kind::bytes) {
        process.pending_input = input.bytes_or_path;
        process.close_input_when_written = true;
        if (process.pending_input.empty()) close_descriptor(process.input);
    }
    return process;
}

// Writes to a held pipe; true when the child has taken all of it within the
// time limit (false also when the child closed its input early).
inline bool write_input(running_process& process, std::string_view bytes,
                        int time_limit_ms = default_time_limit_ms) {
    if (process.input < 0) return false;
    process.pending_input.append(bytes);
    const long long deadline = process_detail::now_ms() + time_limit_ms;
    while (!process.pending_input.empty() && process.input >= 0 &&
           process_detail::now_ms() < deadline)
        process_detail::pump(process, 10);
    return process.pending_input.empty() && process.input >= 0;
}

// Sends the end of input on a held pipe (after anything still pending).
inline void close_input(running_process& process) {
    if (process.pending_input.empty())
        process_detail::close_descriptor(process.input);
    else
        process.close_input_when_written = true;
}

// Waits until standard output holds at least `byte_count` bytes or has ended;
// true in the first case.
inline bool read_output(running_process& process, std::size_t byte_count,
                        int time_limit_ms = default_time_limit_ms) {
    const long long deadline = process_detail::now_ms() + time_limit_ms;
    while (process.output_text.size() < byte_count && process.output >= 0 &&
           process_detail::now_ms() < deadline)
        process_detail::pump(process, 10);
    return process.output_text.size() >= byte_count;
}

// Waits for the child to end and its output pipes to close, without
// touching a held input pipe; true when it did within the limit.
inline bool wait_for_exit(running_process& process, int time_limit_ms = default_time_limit_ms) {
    const long long deadline = process_detail::now_ms() + time_limit_ms;
    while (process_detail::now_ms() < deadline) {
        process_detail::try_reap(process);
        if (process.reaped && process.output < 0 && process.errors < 0) return true;
        process_detail::pump(process, 10);
    }
    return false;
}

// Waits for the end (killing the child at the time limit) and collects
// everything; the held input, if still open, is closed last.
inline process_result finish_process(running_process& process,
                                     int time_limit_ms = default_time_limit_ms) {
    process_result result;
    result.start_failure = process.start_failure;
    if (process.pid < 0) return result;
    if (!wait_for_exit(process, time_limit_ms)) {
        result.timed_out = true;
        kill(process.pid, SIGKILL);
        if (!process.reaped) {
            waitpid(process.pid, &process.wait_status, 0);
            process.reaped = true;
        }
        // Whatever a surviving grandchild still holds is not waited for.
        process_detail::close_descriptor(process.output);
        process_detail::close_descriptor(process.errors);
    }
    process_detail::close_descriptor(process.input);
    result.output = process.output_text;
    result.errors = process.error_text;
    if (!result.timed_out && WIFEXITED(process.wait_status)) {
        result.exited = true;
        result.status = WEXITSTATUS(process.wait_status);
    }
    if (WIFSIGNALED(process.wait_status)) result.signal = WTERMSIG(process.wait_status);
    return result;
}

inline process_result run_process(const std::vector<std::string>& argv, const child_input& input,
                                  const child_output& output = output_pipe(),
                                  int time_limit_ms = default_time_limit_ms) {
    running_process process = start_process(argv, input, output);
    return finish_process(process, time_limit_ms);
}

// The program under test, with no arguments.
inline process_result run_screening(const child_input& input,
                                    const child_output& output = output_pipe()) {
    return run_process({screening_binary()}, input, output);
}

inline process_result run_screening(std::string input_text) {
    return run_screening(input_bytes(std::move(input_text)));
}

// `sh -c script`, with $0 naming the program under test, e.g.
// run_shell("\"$0\"; cat", input_file(path)).
inline process_result run_shell(const std::string& script, const child_input& input,
                                const child_output& output = output_pipe()) {
    return run_process({"/bin/sh", "-c", script, screening_binary()}, input, output);
}
