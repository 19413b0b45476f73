// libFuzzer target `scanner`: our scanner against the platform's fscanf on
// arbitrary bytes (see scanner_check.hpp). A disagreement aborts the run
// with a description and leaves the input as a crash artifact.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "scanner_check.hpp"

namespace {

input_stream stream;
scanner_check_counts counts;

void report_counts() {
    std::fprintf(
        stderr,
        "scanner: %llu values compared, platform strtof hexadecimal faults overruled: %llu\n",
        static_cast<unsigned long long>(counts.values),
        static_cast<unsigned long long>(counts.platform_hex_faults));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::atexit(report_counts);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string problem = check_scanner_input(stream, data, size, counts);
    if (!problem.empty()) {
        std::fprintf(stderr, "scanner disagrees with fscanf: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
