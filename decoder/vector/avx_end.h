// Ends what avx_begin.h began: later functions target the build's baseline.
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
