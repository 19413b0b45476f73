// sweep_kernels: every binary32 bit pattern (or a sample of them), spelled
// shortest and in fixed notation, read as the amounts of whole records by
// every kernel this processor runs, against the platform's strtof. Where the
// sweep checks the full scanner, this checks the kernels' own conversions of
// whole records (and their hand-over to the others) on every value.
//
//   sweep_kernels [--sample N] [--threads T]
//
// Lists of 9,999 records, three patterns to a record and a year count from a
// fixed set between them; separators vary from record to record. Exit
// status 0 when every value agreed, 1 on a mismatch, 2 on bad usage.
#include <atomic>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "kernels/kernel.hpp"
#include "memory_input.hpp"
#include "records.hpp"
#include "sweep_check.hpp"

namespace {

constexpr std::int32_t list_records = max_records - 1;
constexpr std::uint64_t list_patterns = 3 * list_records;
constexpr const char* year_counts[] = {"1", "-5", "30", "+7", "123456789"};
constexpr std::int32_t year_values[] = {1, -5, 30, 7, 123456789};
constexpr const char* separators[] = {" ", " ", "\t", "  "};
constexpr const char* line_ends[] = {"\n", "\n", "\r\n", " \n\n"};
struct kernel_counts {
    std::uint64_t values[4];  // amounts compared, per kernel of build_kernels()
    std::uint64_t mismatches;
    std::string first_mismatches;
};

bool same_value(float ours, float platform) {
    return std::bit_cast<std::uint32_t>(ours) == std::bit_cast<std::uint32_t>(platform) ||
           (std::isnan(ours) && std::isnan(platform));
}

// One list: `count` patterns from block `first_block` on, in one spelling.
void check_list(std::uint64_t first_block, std::uint64_t count, std::uint64_t step, bool fixed,
                record_table& table, input_stream& stream, kernel_counts& counts) {
    std::string text;
    std::vector<std::string> spelled(list_patterns);
    std::vector<float> expected(list_patterns);
    for (std::uint64_t i = 0; i < list_patterns; ++i) {
        char written[128];
        const std::uint64_t pattern = sampled_pattern(0, step, first_block + i);
        float value = std::bit_cast<float>(static_cast<std::uint32_t>(pattern));
        // A zero would close the list; padding after the last pattern too.
        if (i >= count || pattern > 0xffffffffu || value == 0) value = 1;
        const auto result = fixed ? std::to_chars(written, written + sizeof written, value,
                                                  std::chars_format::fixed)
                                  : std::to_chars(written, written + sizeof written, value);
        spelled[i].assign(written, result.ptr);
        expected[i] = std::strtof(spelled[i].c_str(), nullptr);
    }
    for (std::int32_t r = 0; r < list_records; ++r) {
        const char* separator = separators[r % 4];
        text += spelled[3 * r];
        text += separator;
        text += spelled[3 * r + 1];
        text += separator;
        text += year_counts[r % 5];
        text += separator;
        text += spelled[3 * r + 2];
        text += line_ends[r / 4 % 4];
    }
    text += "0 0 0 0\n";
    const std::span<const kernel_entry> kernels = build_kernels();
    for (std::size_t k = 0; k < kernels.size(); ++k) {
        if (!kernels[k].supported()) continue;
        memory_input source = memory_bytes(text.data(), text.size());
        open_memory_input(stream, source);
        const read_outcome outcome = read_records(table, stream, kernels[k]);
        const bool whole =
            outcome.status == read_status::closed && table.record_count == list_records + 1;
        for (std::int32_t r = 0; r < list_records; ++r) {
            const float ours[3] = {table.base_amount[r], table.monthly_amount[r], table.percent[r]};
            for (int v = 0; v < 3; ++v) {
                counts.values[k] += 1;
                const std::uint64_t i =
                    3 * static_cast<std::uint64_t>(r) + static_cast<std::uint64_t>(v);
                if (whole && table.years[r] == year_values[r % 5] &&
                    same_value(ours[v], expected[i]))
                    continue;
                if (++counts.mismatches <= 10) {
                    char line[256];
                    std::snprintf(
                        line, sizeof line,
                        "  mismatch: %s, record %d, \"%s\": ours 0x%08x, strtof 0x%08x%s\n",
                        kernels[k].name, r + 1, spelled[i].c_str(),
                        std::bit_cast<std::uint32_t>(ours[v]),
                        std::bit_cast<std::uint32_t>(expected[i]),
                        whole ? "" : " (the list did not end at its closing record)");
                    counts.first_mismatches += line;
                }
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t step = 1;
    unsigned threads = 2;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::uint64_t number = std::strtoull(argv[i + 1], nullptr, 0);
        if (std::strcmp(argv[i], "--sample") == 0 && number > 0)
            step = number;
        else if (std::strcmp(argv[i], "--threads") == 0 && number > 0 && number <= 256)
            threads = static_cast<unsigned>(number);
        else
            argc = -1;
    }
    if (argc < 0 || argc % 2 == 0) {
        std::fprintf(stderr, "usage: sweep_kernels [--sample N] [--threads T]\n");
        return 2;
    }
    const std::uint64_t blocks = block_count(0, std::uint64_t{1} << 32, step);
    const std::uint64_t lists = (blocks + list_patterns - 1) / list_patterns;
    std::printf("sweep_kernels: %llu patterns, one in %llu, shortest and fixed, %u threads\n",
                static_cast<unsigned long long>(blocks), static_cast<unsigned long long>(step),
                threads);
    std::fflush(stdout);
    std::atomic<std::uint64_t> next_list{0};
    std::vector<kernel_counts> counts(threads);
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t)
        workers.emplace_back([&, t] {
            const auto table = std::make_unique<record_table>();
            const auto stream = std::make_unique<input_stream>();
            for (std::uint64_t list; (list = next_list.fetch_add(1)) < lists;) {
                const std::uint64_t first = list * list_patterns;
                const std::uint64_t count = std::min(list_patterns, blocks - first);
                check_list(first, count, step, false, *table, *stream, counts[t]);
                check_list(first, count, step, true, *table, *stream, counts[t]);
                if (t == 0 && list % (lists / 50 + 1) == 0) {
                    std::printf("  %5.1f%%\n",
                                100.0 * static_cast<double>(list) / static_cast<double>(lists));
                    std::fflush(stdout);
                }
            }
        });
    for (std::thread& worker : workers) worker.join();
    kernel_counts total{};
    for (const kernel_counts& part : counts) {
        for (int k = 0; k < 4; ++k) total.values[k] += part.values[k];
        total.mismatches += part.mismatches;
        total.first_mismatches += part.first_mismatches;
    }
    std::fputs(total.first_mismatches.c_str(), stdout);
    const std::span<const kernel_entry> kernels = build_kernels();
    for (std::size_t k = 0; k < kernels.size(); ++k)
        if (kernels[k].supported())
            std::printf("  %-8s %llu values\n", kernels[k].name,
                        static_cast<unsigned long long>(total.values[k]));
    std::printf("mismatches: %llu\n", static_cast<unsigned long long>(total.mismatches));
    return total.mismatches == 0 ? 0 : 1;
}
