// The processor kernels of this build, and the one choice between them: made
// once per run, for the reader and the answers alike.
#pragma once

// x86-64 has the SSE2 kernels everywhere and the AVX2 ones (with BMI1 and
// BMI2) built beside them, for the processors that have those.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define SCREENING_AVX2
#endif

enum class processor_kernel {
    baseline,  // SSE2 on x86-64; elsewhere the portable code alone
    avx2,
};

// Whether this processor and system can run the AVX2 kernels.
bool avx2_supported();

// The kernels this run uses, decided on the first call.
processor_kernel chosen_kernel();
