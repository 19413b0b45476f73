// Compares the verdict with the x87 hardware on many generated records
// (verdict_cases.hpp): record_verdict, the binary64 answers four at a time
// where they decide, and for records without an infinity or a NaN the
// integer model of the arithmetic (extended.hpp), every intermediate value
// bit for bit. Exits with status 1 on any disagreement.
//
//   sweep_verdict [--records N] [--seed S] [--threads T]
//   sweep_verdict --write-records RECORDS ANSWERS [COUNT]
//
// The second form writes the stored answer file used by the suite and by the
// cross-platform check: COUNT records (100000 by default) in lists closed by
// "0 0 0 0", each list short enough for one run of the program, and the
// hardware's answers.
#include <bit>
#include <charconv>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "extended.hpp"
#include "kernels/avx2.hpp"
#include "kernels/kernel.hpp"
#include "kernels/neon.hpp"
#include "verdict.hpp"
#include "verdict_cases.hpp"

#if defined(__x86_64__) || defined(__i386__)

namespace {

constexpr int shown_disagreements = 5;

// Where the hardware threshold lies relative to a total built to equal the
// exact threshold.
enum tie_outcome { on_total, ulp_below, ulp_above, farther, tie_outcome_count };

struct family_counts {
    std::uint64_t records = 0;
    std::uint64_t yes = 0;
    std::uint64_t decided_in_binary64 = 0;  // by certain_verdicts_one_at_a_time
    std::uint64_t verdict_disagreements = 0;
    std::uint64_t step_disagreements = 0;
    std::uint64_t ties[tie_outcome_count] = {};
};

struct disagreement {
    std::uint64_t index;
    record_family family;
    verdict_record record;
    verdict_steps model;
    verdict_steps hardware;
    bool production_verdict;
};

struct sweep_share {
    std::uint64_t seed;
    std::uint64_t first;
    std::uint64_t end;
    family_counts families[record_family_count];
    std::vector<disagreement> shown;
};

tie_outcome classify_tie(const verdict_record& record) {
    const long double total = static_cast<long double>(record.monthly) *
                              static_cast<long double>(std::int64_t{record.years} * 12);
    const long double threshold = x87_from_extended(x87_verdict_steps(record).threshold);
    if (threshold == total) return on_total;
    if (threshold == std::nextafter(total, -HUGE_VALL)) return ulp_below;
    if (threshold == std::nextafter(total, HUGE_VALL)) return ulp_above;
    return farther;
}

// The four records held last, answered in binary64 where that is certain,
// one at a time (as the SSE2 and portable kernels do), four at a time
// where the processor has AVX2, and two by two as NEON does (emulated on
// x86-64); each answer given must be the hardware's.
struct binary64_batch {
    record_table rows;
    bool hardware_verdicts[4];
    record_family families[4];
    std::uint64_t indices[4];
    int held;
};

#if defined(SCREENING_AVX2)
[[SCREENING_AVX2_TARGET]] unsigned avx2_certain_verdicts(const record_table& table,
                                                         std::int32_t row, unsigned& yes) {
    return avx2_kernel::certain_verdicts(table, row, yes);
}
#endif

// `counted` adds the rows decided to the table's binary64 column.
void check_binary64_answers(const binary64_batch& batch, sweep_share& share, unsigned decided,
                            unsigned yes, bool counted) {
    for (int k = 0; k < 4; ++k) {
        if ((decided >> k & 1U) == 0) continue;
        family_counts& counts = share.families[static_cast<int>(batch.families[k])];
        counts.decided_in_binary64 += counted ? 1 : 0;
        if ((yes >> k & 1U) == (batch.hardware_verdicts[k] ? 1U : 0U)) continue;
        ++counts.verdict_disagreements;
        std::printf("binary64 answer differs at record %" PRIu64 "\n", batch.indices[k]);
    }
}

void check_binary64_batch(binary64_batch& batch, sweep_share& share, bool avx2) {
    unsigned yes = 0;
    unsigned decided = certain_verdicts_one_at_a_time(batch.rows, 0, yes);
    check_binary64_answers(batch, share, decided, yes, true);
#if defined(SCREENING_AVX2)
    if (avx2) {
        decided = avx2_certain_verdicts(batch.rows, 0, yes);
        check_binary64_answers(batch, share, decided, yes, false);
    }
#else
    static_cast<void>(avx2);
#endif
#if defined(SCREENING_NEON)
    decided = neon_kernel::certain_verdicts(batch.rows, 0, yes);
    check_binary64_answers(batch, share, decided, yes, false);
#endif
    batch.held = 0;
}

void sweep_range(sweep_share& share) {
    const auto one_row = std::make_unique<record_table>();
    const bool avx2 = supported_kernel(processor_kernel::avx2) != nullptr;
    const auto batch = std::make_unique<binary64_batch>();
    for (std::uint64_t index = share.first; index < share.end; ++index) {
        record_family family{};
        const verdict_record record = make_record(share.seed, index, family);
        family_counts& counts = share.families[static_cast<int>(family)];
        ++counts.records;
        const verdict_steps hardware = x87_verdict_steps(record);
        store_verdict_record(*one_row, 0, record);
        const bool production = record_verdict(*one_row, 0);
        // The model holds finite values only.
        const bool finite = finite_record(record);
        const verdict_steps model = finite ? extended_verdict_steps(record.base, record.monthly,
                                                                    record.years, record.percent)
                                           : hardware;
        counts.yes += hardware.verdict ? 1 : 0;
        const bool verdict_differs =
            model.verdict != hardware.verdict || production != hardware.verdict;
        const bool steps_differ = !same_steps(model, hardware);
        counts.verdict_disagreements += verdict_differs ? 1 : 0;
        {
            const int k = batch->held++;
            store_verdict_record(batch->rows, k, record);
            batch->hardware_verdicts[k] = hardware.verdict;
            batch->families[k] = family;
            batch->indices[k] = index;
            if (batch->held == 4) check_binary64_batch(*batch, share, avx2);
        }
        counts.step_disagreements += steps_differ ? 1 : 0;
        if ((verdict_differs || steps_differ) && share.shown.size() < shown_disagreements)
            share.shown.push_back({index, family, record, model, hardware, production});
        if ((family == record_family::exact_tie || family == record_family::decimal_tie) &&
            finite && model.total.significand != 0 && model.threshold.significand != 0)
            ++counts.ties[classify_tie(record)];
    }
}

int sweep(std::uint64_t record_count, std::uint64_t seed, unsigned thread_count) {
    std::printf("sweep_verdict: %" PRIu64 " records, seed %" PRIu64 ", %u threads\n", record_count,
                seed, thread_count);
    std::vector<sweep_share> shares(thread_count);
    for (unsigned thread = 0; thread < thread_count; ++thread) {
        shares[thread].seed = seed;
        shares[thread].first = record_count * thread / thread_count;
        shares[thread].end = record_count * (thread + 1) / thread_count;
    }
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (auto& share : shares) threads.emplace_back(sweep_range, std::ref(share));
    for (auto& thread : threads) thread.join();
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    family_counts sum[record_family_count];
    std::vector<disagreement> shown;
    for (const auto& share : shares) {
        for (int family = 0; family < record_family_count; ++family) {
            const family_counts& part = share.families[family];
            family_counts& whole = sum[family];
            whole.records += part.records;
            whole.yes += part.yes;
            whole.decided_in_binary64 += part.decided_in_binary64;
            whole.verdict_disagreements += part.verdict_disagreements;
            whole.step_disagreements += part.step_disagreements;
            for (int tie = 0; tie < tie_outcome_count; ++tie) whole.ties[tie] += part.ties[tie];
        }
        shown.insert(shown.end(), share.shown.begin(), share.shown.end());
    }

    std::printf("%-16s %12s %12s %12s %12s %12s\n", "family", "records", "YES", "binary64",
                "verdict-diff", "value-diff");
    std::uint64_t compared = 0, verdict_disagreements = 0, step_disagreements = 0;
    for (int family = 0; family < record_family_count; ++family) {
        const family_counts& counts = sum[family];
        std::printf("%-16s %12" PRIu64 " %12" PRIu64 " %12" PRIu64 " %12" PRIu64 " %12" PRIu64 "\n",
                    family_name(static_cast<record_family>(family)), counts.records, counts.yes,
                    counts.decided_in_binary64, counts.verdict_disagreements,
                    counts.step_disagreements);
        compared += counts.records;
        verdict_disagreements += counts.verdict_disagreements;
        step_disagreements += counts.step_disagreements;
    }
    for (const auto family : {record_family::decimal_tie, record_family::exact_tie}) {
        const family_counts& counts = sum[static_cast<int>(family)];
        std::printf("%s: hardware threshold on the total %" PRIu64 ", one ulp below %" PRIu64
                    ", one ulp above %" PRIu64 ", farther %" PRIu64 "\n",
                    family_name(family), counts.ties[on_total], counts.ties[ulp_below],
                    counts.ties[ulp_above], counts.ties[farther]);
    }
    for (const auto& entry : shown) {
        std::printf("disagreement at record %" PRIu64 " (%s): ", entry.index,
                    family_name(entry.family));
        print_record(stdout, entry.record);
        std::printf("\n");
        print_steps(stdout, "model", entry.model);
        print_steps(stdout, "hardware", entry.hardware);
        std::printf("  record_verdict -> %s\n", entry.production_verdict ? "YES" : "NO");
    }
    const std::uint64_t disagreements = verdict_disagreements + step_disagreements;
    std::printf("records compared: %" PRIu64 ", disagreements: %" PRIu64 " (verdicts %" PRIu64
                ", intermediate values %" PRIu64 "), elapsed %.1f s\n",
                compared, disagreements, verdict_disagreements, step_disagreements, elapsed);
    return disagreements == 0 ? 0 : 1;
}

// Text that the scanner turns back into exactly this value: the shortest
// decimal that does, or now and then the exact hexadecimal form.
void append_value(std::string& line, float value, bool hexadecimal) {
    char text[64];
    if (std::isnan(value)) {
        line += std::signbit(value) ? "-nan" : "nan";
    } else if (std::isinf(value)) {
        line += std::signbit(value) ? "-inf" : "inf";
    } else if (hexadecimal) {
        std::snprintf(text, sizeof text, "%a", static_cast<double>(value));
        line += text;
    } else {
        const auto written = std::to_chars(text, text + sizeof text, value);
        line.append(text, written.ptr);
    }
}

bool has_zero(const verdict_record& record) {
    return record.base == 0 || record.monthly == 0 || record.years == 0 || record.percent == 0;
}

int write_records(const char* records_path, const char* answers_path, std::uint64_t record_count) {
    if (!long_double_is_x86_extended) {
        std::fprintf(stderr, "sweep_verdict: the stored answers come from the x87 hardware\n");
        return 2;
    }
    constexpr std::uint64_t data_seed = 20240229;
    case_random layout{data_seed};
    std::string records;
    std::string answers;
    std::uint64_t index = 0;
    std::uint64_t written = 0;
    int list_count = 0;
    while (written < record_count) {
        // The first list is as long as one run allows; the others vary.
        std::uint64_t list_length =
            list_count == 0
                ? max_records - 1
                : static_cast<std::uint64_t>(random_between(layout, 1000, max_records - 1));
        if (list_length > record_count - written) list_length = record_count - written;
        for (std::uint64_t in_list = 0; in_list < list_length; ++index) {
            record_family family{};
            const verdict_record record = make_record(data_seed, index, family);
            if (has_zero(record)) continue;
            std::string line;
            const bool hexadecimal = random_chance(layout, 8);
            append_value(line, record.base, hexadecimal);
            line += ' ';
            append_value(line, record.monthly, hexadecimal);
            line += ' ';
            line += std::to_string(record.years);
            line += ' ';
            append_value(line, record.percent, hexadecimal);
            line += '\n';
            records += line;
            answers +=
                long_double_verdict(record.base, record.monthly, record.years, record.percent)
                    ? "YES\n"
                    : "NO\n";
            ++in_list;
        }
        records += "0 0 0 0\n";
        written += list_length;
        ++list_count;
    }
    for (const auto& [path, text] :
         {std::pair{records_path, &records}, std::pair{answers_path, &answers}}) {
        std::FILE* file = std::fopen(path, "wb");
        if (file == nullptr || std::fwrite(text->data(), 1, text->size(), file) != text->size() ||
            std::fclose(file) != 0) {
            std::fprintf(stderr, "sweep_verdict: cannot write %s\n", path);
            return 2;
        }
    }
    std::printf("sweep_verdict: %" PRIu64 " records in %d lists, %zu bytes\n", written, list_count,
                records.size());
    return 0;
}

std::uint64_t number_argument(const char* text) {
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 0);
    if (end == text || *end != '\0') {
        std::fprintf(stderr, "sweep_verdict: not a number: %s\n", text);
        std::exit(2);
    }
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "--write-records") == 0)
        return write_records(argv[2], argv[3], argc >= 5 ? number_argument(argv[4]) : 100'000);
    std::uint64_t record_count = 100'000'000;
    std::uint64_t seed = 1;
    unsigned thread_count = 2;
    bool understood = argc % 2 == 1;
    for (int at = 1; understood && at + 1 < argc; at += 2) {
        if (std::strcmp(argv[at], "--records") == 0)
            record_count = number_argument(argv[at + 1]);
        else if (std::strcmp(argv[at], "--seed") == 0)
            seed = number_argument(argv[at + 1]);
        else if (std::strcmp(argv[at], "--threads") == 0)
            thread_count = static_cast<unsigned>(number_argument(argv[at + 1]));
        else
            understood = false;
    }
    if (!understood || thread_count == 0) {
        std::fprintf(stderr,
                     "usage: sweep_verdict [--records N] [--seed S] [--threads T]\n"
                     "       sweep_verdict --write-records RECORDS ANSWERS [COUNT]\n");
        return 2;
    }
    return sweep(record_count, seed, thread_count);
}

#else

int main() {
    std::fprintf(stderr, "sweep_verdict: needs the x87 hardware as its reference\n");
    return 2;
}

#endif
