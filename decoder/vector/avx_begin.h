// Included by a file whose kernels are compiled for processors with AVX:
// every function from here to avx_end.h targets AVX, whatever the build's
// baseline. Only for x86 builds; no include guard, as it is a switch.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx")
#endif
