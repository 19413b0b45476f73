// A kernel's lanes may be a register that the build's own options do not
// pass in registers (AVX2's). The generic code that takes them is only ever
// inlined into a function with the kernel's options, so no call passes one.
#pragma GCC diagnostic ignored "-Wpsabi"

#include "kernel.hpp"

#include "../verdict.hpp"
#include "avx2.hpp"
#include "neon.hpp"
#include "sse2.hpp"
#include "window.hpp"

#if defined(SCREENING_AVX2) && !defined(__clang__) && __has_include(<sys/platform/x86.h>)
#include <sys/platform/x86.h>
#define SCREENING_GLIBC_CPU_FEATURES 1
#endif

namespace {

// Every processor runs it: records token by token, answers a row at a time.
struct portable_kernel {
    static unsigned certain_verdicts(const record_table& table, std::int32_t first, unsigned& yes) {
        return certain_verdicts_one_at_a_time(table, first, yes);
    }
};

// Everything the generic code calls is inlined into these, a function of
// their own for each kernel, with the kernel's target options.
template <typename kernel>
[[gnu::flatten, gnu::noinline]] std::int32_t take_records(record_table& table, std::int32_t row,
                                                          input_stream& input) {
    return record_window::take_window_records<kernel>(table, row, input);
}

template <typename kernel>
[[gnu::flatten, gnu::noinline]] unsigned long answer_records(const record_table& table,
                                                             unsigned char* answers) {
    return answer_four_at_a_time<kernel>(table, answers);
}

bool always() { return true; }

#if defined(SCREENING_AVX2)
[[SCREENING_AVX2_TARGET, gnu::flatten, gnu::noinline]] std::int32_t take_records_avx2(
    record_table& table, std::int32_t row, input_stream& input) {
    return record_window::take_window_records<avx2_kernel>(table, row, input);
}

[[SCREENING_AVX2_TARGET, gnu::flatten, gnu::noinline]] unsigned long answer_records_avx2(
    const record_table& table, unsigned char* answers) {
    return answer_four_at_a_time<avx2_kernel>(table, answers);
}

// The C library has asked the processor at start-up; asking again costs a
// virtual machine dearly (tens of microseconds per question). Clang cannot
// read glibc's header as C++, and its builds are for testing only.
bool avx2_supported() {
#if defined(SCREENING_GLIBC_CPU_FEATURES)
    return CPU_FEATURE_ACTIVE(AVX2) && CPU_FEATURE_ACTIVE(BMI1) && CPU_FEATURE_ACTIVE(BMI2) &&
           CPU_FEATURE_ACTIVE(LZCNT) && CPU_FEATURE_ACTIVE(POPCNT);
#else
    // Clang 14 cannot ask for LZCNT, which every processor with AVX2 has.
    __builtin_cpu_init();  // this may run before the constructor that does it
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
           __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
#endif
}
static_assert(record_kernel<avx2_kernel>);
#endif
#if defined(SCREENING_SSE2)
static_assert(record_kernel<sse2_kernel>);
#endif
#if defined(SCREENING_NEON)
static_assert(record_kernel<neon_kernel>);
#endif
static_assert(answer_kernel<portable_kernel>);

// Best first; the last runs everywhere.
constexpr kernel_entry kernels[] = {
#if defined(SCREENING_AVX2)
    {processor_kernel::avx2, "avx2", "AVX2, BMI1, BMI2, LZCNT, POPCNT", avx2_supported,
     avx2_kernel::classify, take_records_avx2, answer_records_avx2},
#endif
#if defined(SCREENING_SSE2)
    {processor_kernel::sse2, "sse2", "none (every x86-64 processor)", always, sse2_kernel::classify,
     take_records<sse2_kernel>, answer_records<sse2_kernel>},
#endif
#if defined(SCREENING_NEON)
    {processor_kernel::neon, "neon", "none (every AArch64 processor)", always,
     neon_kernel::classify, take_records<neon_kernel>, answer_records<neon_kernel>},
#endif
    {processor_kernel::portable, "portable", "none", always, nullptr, take_records<portable_kernel>,
     answer_records<portable_kernel>},
};

// Chosen at start-up rather than on the first call: a static inside a
// function would need a guard, which brings the C++ exception machinery
// into the program, with its pages and its allocation at start-up. A build
// for measuring one kernel names it (SCREENING_KERNEL, bench/).
const kernel_entry& first_supported() {
    for (const kernel_entry& entry : kernels) {
#if defined(SCREENING_KERNEL)
        if (entry.kernel == processor_kernel::SCREENING_KERNEL) return entry;
#else
        if (entry.supported()) return entry;
#endif
    }
    return kernels[std::size(kernels) - 1];
}

const kernel_entry& chosen = first_supported();

}  // namespace

std::span<const kernel_entry> build_kernels() { return kernels; }

const kernel_entry* supported_kernel(processor_kernel kernel) {
    for (const kernel_entry& entry : kernels)
        if (entry.kernel == kernel) return entry.supported() ? &entry : nullptr;
    return nullptr;
}

const kernel_entry& chosen_kernel() { return chosen; }
