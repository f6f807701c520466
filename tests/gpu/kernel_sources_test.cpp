// The kernel source texts as the build made them: both hold the slot enumeration and the
// shared per-pixel source whole, and their own kernels; no include is left for a run-time
// compiler to resolve. (The OpenCL text is also compiled and run on PoCL.)
#include "gpu/kernel_sources.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "pipeline/slots.h"

namespace {

std::string per_pixel_source() {
    std::ifstream f(std::string(CHROMALANE_SOURCE_DIR) + "/gpu/per_pixel.h");
    std::stringstream s;
    s << f.rdbuf();
    std::string text = s.str();
    const std::string pragma = "#pragma once\n";
    const size_t at = text.find(pragma);
    if (at != std::string::npos) text.erase(at, pragma.size());
    return text;
}

std::string enumeration() {
    std::string e = "enum coefficient_slot {\n";
    int index = 0;
#define CHROMALANE_SLOT_LINE(name) e += "    " #name " = " + std::to_string(index++) + ",\n";
    CHROMALANE_SLOTS(CHROMALANE_SLOT_LINE)
#undef CHROMALANE_SLOT_LINE
    return e + "};\n";
}

void expect_shared_parts(const std::string& text) {
    const std::string shared = per_pixel_source();
    ASSERT_GT(shared.size(), 1000u);
    EXPECT_NE(text.find(shared), std::string::npos) << "the per-pixel source is not whole";
    EXPECT_NE(text.find(enumeration()), std::string::npos) << "the slot enumeration";
    EXPECT_LT(text.find(enumeration()), text.find(shared));
    EXPECT_EQ(text.find("#include \""), std::string::npos);
}

}  // namespace

TEST(KernelSources, OpenClTextHoldsTheSharedSourceAndBothKernels) {
    const std::string text = OPENCL_KERNEL_SOURCE;
    expect_shared_parts(text);
    EXPECT_NE(text.find("#pragma OPENCL FP_CONTRACT OFF"), std::string::npos);
    EXPECT_NE(text.find("__kernel void kernel_calcLUT("), std::string::npos);
    EXPECT_NE(text.find("__kernel void kernel_applyLUT("), std::string::npos);
    EXPECT_NE(text.find("vstore_half4_rtz"), std::string::npos);
}

TEST(KernelSources, MetalTextHoldsTheSharedSourceAndBothKernels) {
    const std::string text = METAL_KERNEL_SOURCE;
    EXPECT_EQ(text.rfind("#include <metal_stdlib>\nusing namespace metal;\n", 0), 0u);
    expect_shared_parts(text);
    for (const char* part : {"kernel void kernel_calcLUT(", "kernel void kernel_applyLUT(",
                             "float4 read_float4(", "void write_float4(", "struct kernelvalues {",
                             "sampler LUT_sampler(coord::pixel, "
                             "filter::linear",
                             "#define GPU_COEFFS device float*"})
        EXPECT_NE(text.find(part), std::string::npos) << part;
    // pitch, is16f, width, height: the order the filter writes them in.
    const size_t values = text.find("struct kernelvalues {");
    EXPECT_LT(text.find("int pitch;", values), text.find("int is16f;", values));
    EXPECT_LT(text.find("int is16f;", values), text.find("uint width;", values));
    EXPECT_LT(text.find("uint width;", values), text.find("uint height;", values));
}
