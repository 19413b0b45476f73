#include "choice.hpp"

#if defined(SCREENING_AVX2) && !defined(__clang__) && __has_include(<sys/platform/x86.h>)
#include <sys/platform/x86.h>
#define SCREENING_GLIBC_CPU_FEATURES 1
#endif

// The C library has asked the processor at start-up; asking again costs a
// virtual machine dearly (tens of microseconds per question). Clang cannot
// read glibc's header as C++, and its builds are for testing only.
bool avx2_supported() {
#if defined(SCREENING_GLIBC_CPU_FEATURES)
    return CPU_FEATURE_ACTIVE(AVX2) && CPU_FEATURE_ACTIVE(BMI1) && CPU_FEATURE_ACTIVE(BMI2);
#elif defined(SCREENING_AVX2)
    __builtin_cpu_init();  // this may run before the constructor that does it
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
           __builtin_cpu_supports("bmi2");
#else
    return false;
#endif
}

bool kernel_supported(processor_kernel kernel) {
    if (kernel == processor_kernel::avx2) return avx2_supported();
#if !defined(__SSE2__)
    if (kernel == processor_kernel::sse2) return false;
#endif
    return true;
}

// Made at start-up rather than on the first call: a static inside the
// function would need a guard, and the guard brings the C++ exception
// machinery into the program, with its pages and its allocation at start-up.
namespace {
const processor_kernel chosen = avx2_supported() ? processor_kernel::avx2
                                : kernel_supported(processor_kernel::sse2)
                                    ? processor_kernel::sse2
                                    : processor_kernel::portable;
}  // namespace

processor_kernel chosen_kernel() { return chosen; }
