// The row function at 8 lanes; this file alone is compiled for that instruction set and
// is only called after the processor has been checked for it.
#include "pipeline/render_kernel.h"

void render_rows_avx2(const render_job* job) {
    run_rows<8>(job);
}
void render_fast_avx2(int op, const float* x, float* y, int n, float a) {
    fast_array<8>(op, x, y, n, a);
}
