// Microbenchmarks of the scanner, the reader and the verdict, on bytes held
// in memory, so that no system call or process start is counted. The scan
// figures are in bytes of input per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>

#include "input_text.hpp"
#include "kernels/kernel.hpp"
#include "memory_input.hpp"
#include "records.hpp"
#include "scanner.hpp"
#include "verdict.hpp"

namespace {

// Scans values in record order (amount, amount, year count, amount) to the
// end of the input; returns how many were scanned.
std::int64_t scan_to_end(input_stream& stream) {
    std::int64_t values = 0;
    float amount = 0;
    std::int32_t years = 0;
    for (int position = 0;; position = (position + 1) % 4) {
        const scan_result result =
            position == 2 ? scan_int(stream, years) : scan_float(stream, amount);
        if (result != scan_result::value) return values;
        benchmark::DoNotOptimize(amount);
        benchmark::DoNotOptimize(years);
        ++values;
    }
}

// `records` counts the closing record too: every record has four values.
void scan_text(benchmark::State& state, const std::string& text, std::int64_t records) {
    const auto stream = std::make_unique<input_stream>();
    std::int64_t values = 0;
    for ([[maybe_unused]] auto iteration : state) {
        memory_input source = memory_bytes(text.data(), text.size());
        open_memory_input(*stream, source);
        values = scan_to_end(*stream);
    }
    if (values != 4 * records) state.SkipWithError("the scan stopped before the end of the input");
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
    state.SetItemsProcessed(state.iterations() * values);
}

// Each text is made once, at registration.
BENCHMARK_CAPTURE(scan_text, typical, typical_records(9999), 10000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(scan_text, decimal_50_digits, long_decimal_records(9999, 50), 10000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(scan_text, decimal_1000_digits, long_decimal_records(1000, 1000), 1001)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(scan_text, hexadecimal, hex_records(9999), 10000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(scan_text, infinity_nan, infinity_records(9999), 10000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(scan_text, white_space_runs, white_space_records(9999, 100), 10000)
    ->Unit(benchmark::kMicrosecond);

// read_records with each kernel this processor can run, on the typical
// records in every layout (read_records/<layout>/<kernel>).
void read_layout_records(benchmark::State& state, record_layout layout, processor_kernel kernel) {
    const std::string text = layout_records(9999, layout);
    const auto table = std::make_unique<record_table>();
    const auto stream = std::make_unique<input_stream>();
    read_outcome outcome{};
    for ([[maybe_unused]] auto iteration : state) {
        memory_input source = memory_bytes(text.data(), text.size());
        open_memory_input(*stream, source);
        outcome = read_records(*table, *stream, *supported_kernel(kernel));
        benchmark::DoNotOptimize(table->record_count);
    }
    if (outcome.status != read_status::closed || table->record_count != 10000)
        state.SkipWithError("the list was not read to its closing record");
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
    state.SetItemsProcessed(state.iterations() * (table->record_count - 1));
}

const bool layouts_registered = [] {
    for (const layout_name& layout : record_layouts)
        for (const kernel_entry& kernel : build_kernels()) {
            if (!kernel.supported()) continue;
            const std::string name = std::string("read_records/") + layout.name + "/" + kernel.name;
            benchmark::RegisterBenchmark(name.c_str(), read_layout_records, layout.layout,
                                         kernel.kernel)
                ->Unit(benchmark::kMicrosecond);
        }
    return true;
}();

// One record per iteration, so the time shown is the time per record.
void verdict_per_record(benchmark::State& state) {
    const std::string text = typical_records(9999);
    const auto table = std::make_unique<record_table>();
    const auto stream = std::make_unique<input_stream>();
    memory_input source = memory_bytes(text.data(), text.size());
    open_memory_input(*stream, source);
    static_cast<void>(read_records(*table, *stream));
    const std::int32_t answered = table->record_count - 1;
    if (answered < 1) {
        state.SkipWithError("no records to answer");
        return;
    }
    std::int32_t row = 0;
    for ([[maybe_unused]] auto iteration : state) {
        benchmark::DoNotOptimize(record_verdict(*table, row));
        if (++row == answered) row = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(verdict_per_record);

}  // namespace

BENCHMARK_MAIN();
