// The row function at 16 lanes; this file alone is compiled for that instruction set and
// is only called after the processor has been checked for it.
#include "pipeline/render_kernel.h"

void render_rows_avx512(const render_job* job) {
    run_rows<16>(job);
}
void render_fast_avx512(int op, const float* x, float* y, int n, float a) {
    fast_array<16>(op, x, y, n, a);
}
