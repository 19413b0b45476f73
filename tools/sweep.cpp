// sweep: checks our scanner against the platform's strtof on every binary32
// bit pattern (or a sample of them), each written in three spellings.
//
//   sweep [--sample N] [--range A B] [--threads T] [--spelling NAME]...
//
// --sample N   one pattern out of every N (default 1: all of them)
// --range A B  patterns A <= p < B (default 0 0x100000000); decimal or 0x...
// --threads T  worker threads (default 2)
// --spelling   shortest, exact (%.70e) or hex (%a); repeatable; default all
//
// Exit status 0 when every text agreed, 1 on a mismatch, 2 on bad usage.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sweep_check.hpp"

namespace {

struct sweep_options {
    std::uint64_t step = 1;
    std::uint64_t first = 0;
    std::uint64_t end = std::uint64_t{1} << 32;
    unsigned threads = 2;
    bool spellings[sweep_spelling_count] = {false, false, false};
};

constexpr std::size_t mismatches_shown = 10;
// Blocks handed to a worker at a time: small enough for an even split and a
// smooth progress line, large enough that the hand-out costs nothing.
constexpr std::uint64_t blocks_per_chunk = 1 << 14;

bool parse_number(const char* text, std::uint64_t& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text, &end, 0);
    return errno == 0 && end != text && *end == '\0';
}

int usage(const char* problem) {
    std::fprintf(stderr,
                 "sweep: %s\nusage: sweep [--sample N] [--range A B] [--threads T] "
                 "[--spelling shortest|exact|hex]...\n",
                 problem);
    return 2;
}

std::string clock_text(double seconds) {
    const auto whole = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    sweep_options options;
    bool any_spelling = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        std::uint64_t number = 0;
        if (option == "--sample" && i + 1 < argc) {
            if (!parse_number(argv[++i], number) || number == 0) return usage("bad --sample");
            options.step = number;
        } else if (option == "--range" && i + 2 < argc) {
            std::uint64_t last = 0;
            if (!parse_number(argv[i + 1], number) || !parse_number(argv[i + 2], last) ||
                last > (std::uint64_t{1} << 32) || number >= last)
                return usage("bad --range (want A < B <= 0x100000000)");
            options.first = number;
            options.end = last;
            i += 2;
        } else if (option == "--threads" && i + 1 < argc) {
            if (!parse_number(argv[++i], number) || number == 0 || number > 256)
                return usage("bad --threads");
            options.threads = static_cast<unsigned>(number);
        } else if (option == "--spelling" && i + 1 < argc) {
            const std::string name = argv[++i];
            const int index = name == "shortest" ? 0 : name == "exact" ? 1 : name == "hex" ? 2 : -1;
            if (index < 0) return usage("bad --spelling");
            options.spellings[index] = true;
            any_spelling = true;
        } else {
            return usage(("unknown option " + option).c_str());
        }
    }
    if (!any_spelling)
        for (bool& wanted : options.spellings) wanted = true;

    const std::uint64_t total_blocks = block_count(options.first, options.end, options.step);
    const std::uint64_t chunk_count = (total_blocks + blocks_per_chunk - 1) / blocks_per_chunk;
    std::printf("sweep: patterns [0x%llx, 0x%llx), one in %llu: %llu patterns, %u threads\n",
                static_cast<unsigned long long>(options.first),
                static_cast<unsigned long long>(options.end),
                static_cast<unsigned long long>(options.step),
                static_cast<unsigned long long>(total_blocks), options.threads);
    std::fflush(stdout);

    struct worker_result {
        sweep_counts counts{};
        sweep_mismatch mismatches[mismatches_shown];
        std::size_t mismatches_kept = 0;
    };
    std::vector<worker_result> results(options.threads);
    std::atomic<std::uint64_t> next_chunk{0};
    std::atomic<std::uint64_t> blocks_done{0};
    std::atomic<unsigned> workers_left{options.threads};
    std::mutex finished_mutex;
    std::condition_variable finished;

    const auto started = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < options.threads; ++t) {
        workers.emplace_back([&, t] {
            auto stream = std::make_unique<input_stream>();
            sweep_scanner scanner;
            open_sweep_scanner(scanner, *stream);
            worker_result& result = results[t];
            for (;;) {
                const std::uint64_t chunk = next_chunk.fetch_add(1);
                if (chunk >= chunk_count) break;
                const std::uint64_t first_block = chunk * blocks_per_chunk;
                const std::uint64_t last_block =
                    std::min(first_block + blocks_per_chunk, total_blocks);
                check_blocks(scanner, options.first, options.end, options.step, first_block,
                             last_block, options.spellings, result.counts, result.mismatches,
                             mismatches_shown, result.mismatches_kept);
                blocks_done.fetch_add(last_block - first_block);
            }
            if (workers_left.fetch_sub(1) == 1) {
                const std::lock_guard lock(finished_mutex);
                finished.notify_all();
            }
        });
    }

    // Progress every two per cent, with the rate so far and the time left.
    constexpr std::uint64_t progress_steps = 50;
    std::uint64_t next_report = 1;
    for (;;) {
        {
            std::unique_lock lock(finished_mutex);
            if (finished.wait_for(lock, std::chrono::milliseconds(500),
                                  [&] { return workers_left.load() == 0; }))
                break;
        }
        const std::uint64_t done = blocks_done.load();
        if (total_blocks == 0 || done * progress_steps < next_report * total_blocks) continue;
        next_report = done * progress_steps / total_blocks + 1;
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const double rate = static_cast<double>(done) / elapsed;
        std::printf("  %5.1f%%  %llu patterns  %.2f M patterns/s  elapsed %s  ETA %s\n",
                    100.0 * static_cast<double>(done) / static_cast<double>(total_blocks),
                    static_cast<unsigned long long>(done), rate / 1e6, clock_text(elapsed).c_str(),
                    clock_text(static_cast<double>(total_blocks - done) / rate).c_str());
        std::fflush(stdout);
    }
    for (std::thread& worker : workers) worker.join();
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    sweep_counts total{};
    std::size_t shown = 0;
    for (const worker_result& result : results) {
        add_counts(total, result.counts);
        for (std::size_t m = 0; m < result.mismatches_kept && shown < mismatches_shown;
             ++m, ++shown) {
            char line[512];
            describe_mismatch(result.mismatches[m], line, sizeof line);
            std::printf("  mismatch: %s\n", line);
        }
    }
    std::uint64_t texts = 0;
    for (int s = 0; s < sweep_spelling_count; ++s) {
        if (!options.spellings[s]) continue;
        texts += total.checked[s];
        std::printf("  %-9s %llu texts\n", spelling_name(sweep_spellings[s]),
                    static_cast<unsigned long long>(total.checked[s]));
    }
    std::printf("checked %llu patterns, %llu texts in %s (%.1f s, %.2f M texts/s)\n",
                static_cast<unsigned long long>(total_blocks),
                static_cast<unsigned long long>(texts), clock_text(elapsed).c_str(), elapsed,
                static_cast<double>(texts) / elapsed / 1e6);
    std::printf("platform strtof hexadecimal faults overruled: %llu\n",
                static_cast<unsigned long long>(total.platform_hex_faults));
    std::printf("mismatches: %llu\n", static_cast<unsigned long long>(total.mismatches));
    return total.mismatches == 0 ? 0 : 1;
}
