// The render's fast functions on every backend this processor has, with any operation,
// exponent and inputs: nothing read outside a table, no undefined conversion.
#include <cstdint>
#include <cstring>
#include <vector>

#include "pipeline/render.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const render_fast_op op = static_cast<render_fast_op>(data[0] % 5);
    float a;
    std::memcpy(&a, data + 1, 4);
    const size_t n = (size - 5) / 4;
    std::vector<float> x(n), y(n);
    if (n) std::memcpy(x.data(), data + 5, n * 4);
    for (render_backend b : {RENDER_PORTABLE, RENDER_LANES4, RENDER_AVX2, RENDER_AVX512})
        if (render_backend_available(b))
            render_fast_functions(b, op, x.data(), y.data(), static_cast<int>(n), a);
    return 0;
}
