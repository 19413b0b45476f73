// The processor kernels of this build, and the one choice between them: made
// once per run, for the reader and the answers alike.
#pragma once

// x86-64 has the SSE2 kernel everywhere and the AVX2 one (with BMI1 and
// BMI2) built beside it, for the processors that have those; every build has
// the portable one.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define SCREENING_AVX2
#endif

enum class processor_kernel { portable, sse2, avx2 };

// Whether this processor and system can run the AVX2 kernels.
bool avx2_supported();

// Whether this build has the kernel and this processor can run it.
bool kernel_supported(processor_kernel kernel);

// The kernels this run uses, decided once at start-up: the fastest supported.
processor_kernel chosen_kernel();
