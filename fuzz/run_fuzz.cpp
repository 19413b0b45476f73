// libFuzzer target `run`: read_records and record_verdict on arbitrary
// bytes against a reference reader on the platform's fscanf (see
// run_check.hpp). A disagreement or a broken invariant aborts the run with a
// description and leaves the input as a crash artifact.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "run_check.hpp"

namespace {

input_stream stream;
record_table table;
record_table reference;
run_check_counts counts;

void report_counts() {
    std::fprintf(
        stderr,
        "run: %llu answered records compared, platform strtof hexadecimal faults overruled: %llu\n",
        static_cast<unsigned long long>(counts.records),
        static_cast<unsigned long long>(counts.platform_hex_faults));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::atexit(report_counts);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string problem = check_run_input(stream, table, reference, data, size, counts);
    if (!problem.empty()) {
        std::fprintf(stderr, "run check failed: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
