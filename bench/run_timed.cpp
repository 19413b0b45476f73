// bench_timer RUNS INPUT PROGRAM...
//
// Runs each program RUNS times with INPUT as standard input and standard
// output and error thrown away, and prints one line per program:
//   PROGRAM MEDIAN_NS MIN_NS PEAK_RSS_KIB FAILED_RUNS
// Wall time covers fork, exec, the run and the wait. The programs take turns
// run by run, each run starting with the next one, so that a slow spell of
// the machine falls on all of them alike. One untimed run of each comes
// first, to bring the files into the page cache.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

struct run_figures {
    std::int64_t wall_ns;
    long peak_rss_kib;
    bool failed;
};

std::int64_t now_ns() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

run_figures run_once(const char* program, const char* input_path) {
    const std::int64_t start = now_ns();
    const pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        std::exit(1);
    }
    if (child == 0) {
        const int input = open(input_path, O_RDONLY);
        const int nowhere = open("/dev/null", O_WRONLY);
        if (input < 0 || nowhere < 0 || dup2(input, STDIN_FILENO) < 0 ||
            dup2(nowhere, STDOUT_FILENO) < 0 || dup2(nowhere, STDERR_FILENO) < 0)
            _exit(126);
        close(input);
        close(nowhere);
        char* const arguments[] = {const_cast<char*>(program), nullptr};
        execv(program, arguments);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    while (wait4(child, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            std::perror("wait4");
            std::exit(1);
        }
    }
    const std::int64_t wall = now_ns() - start;
    const bool failed = !WIFEXITED(status) || WEXITSTATUS(status) != 0;
    return {wall, usage.ru_maxrss, failed};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s RUNS INPUT PROGRAM...\n", argv[0]);
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    const char* const input_path = argv[2];
    const int program_count = argc - 3;
    char** const programs = argv + 3;
    if (runs < 1 || access(input_path, R_OK) != 0) {
        std::fprintf(stderr, "%s: need a positive run count and a readable input\n", argv[0]);
        return 2;
    }

    for (int program = 0; program < program_count; ++program)
        run_once(programs[program], input_path);

    std::vector<std::vector<run_figures>> figures(static_cast<std::size_t>(program_count));
    for (int run = 0; run < runs; ++run) {
        for (int turn = 0; turn < program_count; ++turn) {
            const int program = (run + turn) % program_count;
            figures[static_cast<std::size_t>(program)].push_back(
                run_once(programs[program], input_path));
        }
    }

    for (int program = 0; program < program_count; ++program) {
        std::vector<run_figures>& runs_of_program = figures[static_cast<std::size_t>(program)];
        std::vector<std::int64_t> walls;
        long peak_rss = 0;
        int failed = 0;
        for (const run_figures& run : runs_of_program) {
            walls.push_back(run.wall_ns);
            peak_rss = std::max(peak_rss, run.peak_rss_kib);
            failed += run.failed ? 1 : 0;
        }
        std::sort(walls.begin(), walls.end());
        // With an even count, the lower of the two middle values.
        const std::int64_t median = walls[(walls.size() - 1) / 2];
        std::printf("%s %lld %lld %ld %d\n", programs[program], static_cast<long long>(median),
                    static_cast<long long>(walls.front()), peak_rss, failed);
    }
    return 0;
}
