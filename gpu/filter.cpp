#include "gpu/filter.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>

#include "gpu/kernel_sources.h"
#include "host/entry.h"
#include "pipeline/image.h"
#include "pipeline/slots.h"

GPU_cache_record GPU_cache;

namespace {

std::once_flag cache_once;

void make_sure_cache_initialised() {
    std::call_once(cache_once, [] {
        std::memset(static_cast<void*>(&GPU_cache), 0, sizeof(GPU_cache));
        real_mutex_create(&GPU_cache.lock);
    });
}

bool framework_served(PrGPUDeviceFramework f) {
    if (f == PrGPUDeviceFramework_OpenCL) return true;
#ifdef CHROMALANE_CUDA
    if (f == PrGPUDeviceFramework_CUDA) return true;
#endif
    // Metal needs the macOS build's Objective-C++ part, which this build does not hold.
    return false;
}

// Any numeric answer of the segment suite as a double.
bool param_number(const PrParam& p, double* value) {
    switch (p.mType) {
        case kPrParamType_Int8:
            *value = p.mInt8;
            return true;
        case kPrParamType_Int16:
            *value = p.mInt16;
            return true;
        case kPrParamType_Int32:
            *value = p.mInt32;
            return true;
        case kPrParamType_Int64:
            *value = static_cast<double>(p.mInt64);
            return true;
        case kPrParamType_Float32:
            *value = p.mFloat32;
            return true;
        case kPrParamType_Float64:
            *value = p.mFloat64;
            return true;
        case kPrParamType_Bool:
            *value = p.mBool ? 1 : 0;
            return true;
        default:
            return false;
    }
}

// The segment suite counts the effect's parameters without the input layer.
struct transfer_indices {
    int kind, iso, a, g, h, i, black, white, red_x;
};
// The input side keeps its first two flags crosswise, as the parameters store them.
constexpr transfer_indices INPUT_INDICES = {3, 5, 6, 13, 12, 14, 16, 17, 20};
constexpr transfer_indices OUTPUT_INDICES = {58, 60, 61, 67, 68, 69, 71, 72, 75};
constexpr int SOURCE_INDEX = 39, TARGET_INDEX = 40, CARD_TYPE_INDEX = 38, CORRECTION_INDEX = 42;
constexpr int WHITE_BALANCE_INDEX = 43, PRESERVE_LIGHTNESS_INDEX = 44, EXPOSURE_INDEX = 48;
constexpr int HIGHLIGHT_INDEX = 54, CORNER_INDEX = 32;

void release_opencl_slot(const opencl_api& cl, opencl_slot* s) {
    if (s->calc_kernel) cl.clReleaseKernel(s->calc_kernel);
    if (s->apply_kernel) cl.clReleaseKernel(s->apply_kernel);
    if (s->lut_image) cl.clReleaseMemObject(s->lut_image);
    if (s->lut_sampler) cl.clReleaseSampler(s->lut_sampler);
    s->calc_kernel = s->apply_kernel = nullptr;
    s->lut_image = nullptr;
    s->lut_sampler = nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// Instances

GPU_filter::~GPU_filter() {
    if (!mCounted) return;
    real_mutex_lock(&global.lock);
    --global.gpu_filters;
    real_mutex_unlock(&global.lock);
}

prSuiteError GPU_filter::setup_opencl_slot() {
    const opencl_api* api = opencl_load();
    if (!api) return suiteError_Fail;
    const opencl_api& cl = *api;
    opencl_slot* s = &GPU_cache.opencl[mDeviceIndex];
    auto context = static_cast<cl_context>(mDeviceInfo.outContextHandle);
    auto device = static_cast<cl_device_id>(mDeviceInfo.outDeviceHandle);
    if (s->ready && s->context == context && s->device == device) return suiteError_NoError;
    if (s->ready) {
        // The host moved the device index to another context: the old objects belong to a
        // context that may be gone, so they are dropped rather than released.
        s->ready = 0;
        s->calc_kernel = s->apply_kernel = nullptr;
        s->lut_image = nullptr;
        s->lut_sampler = nullptr;
    }
    cl_int err = CL_SUCCESS;
    const char* source = OPENCL_KERNEL_SOURCE;
    cl_program program = cl.clCreateProgramWithSource(context, 1, &source, nullptr, &err);
    if (err == CL_SUCCESS)
        err = cl.clBuildProgram(program, 1, &device, OPENCL_BUILD_OPTIONS, nullptr, nullptr);
    if (err == CL_BUILD_PROGRAM_FAILURE) {
        // The log only helps a developer; the host is told of the failure by the result.
        size_t size = 0;
        cl.clGetProgramBuildInfo(program, device, CL_PROGRAM_BUILD_LOG, 0, nullptr, &size);
    }
    if (err == CL_SUCCESS) s->calc_kernel = cl.clCreateKernel(program, "kernel_calcLUT", &err);
    if (err == CL_SUCCESS) s->apply_kernel = cl.clCreateKernel(program, "kernel_applyLUT", &err);
    if (program) cl.clReleaseProgram(program);  // the kernels keep it
    if (err == CL_SUCCESS) {
        const cl_image_format format{CL_RGBA, CL_FLOAT};
        cl_image_desc desc{};
        desc.image_type = CL_MEM_OBJECT_IMAGE2D;
        desc.image_width = LUT_NODES;
        desc.image_height = LUT_NODES * LUT_NODES;
        s->lut_image = cl.clCreateImage(context, CL_MEM_READ_WRITE | CL_MEM_HOST_NO_ACCESS, &format,
                                        &desc, nullptr, &err);
    }
    if (err == CL_SUCCESS)
        s->lut_sampler =
            cl.clCreateSampler(context, CL_FALSE, CL_ADDRESS_CLAMP_TO_EDGE, CL_FILTER_LINEAR, &err);
    if (err != CL_SUCCESS) {
        release_opencl_slot(cl, s);
        return suiteError_Fail;
    }
    s->context = context;
    s->device = device;
    s->have_lut = 0;
    parameters_clear(&s->last_params);
    if (!s->locks_made) {
        real_rwlock_create(&s->lut_lock);
        real_mutex_create(&s->launch_lock);
        s->locks_made = 1;
    }
    s->ready = 1;
    return suiteError_NoError;
}

prSuiteError GPU_filter::Initialize(PrGPUFilterInstance* instance) {
    make_sure_initialised();
    make_sure_cache_initialised();
    prSuiteError r = PrGPUFilterBase::Initialize(instance);
    if (r != suiteError_NoError) return suiteError_Fail;
    const void* opaque = nullptr;
    if (mSuites && mSuites->AcquireSuite(kPrSDKOpaqueEffectDataSuite,
                                         kPrSDKOpaqueEffectDataSuiteVersion, &opaque) == kSPNoError)
        mOpaqueEffectDataSuite = static_cast<const PrSDKOpaqueEffectDataSuite*>(opaque);
    (void)GetProperty(kVideoSegmentProperty_Effect_RuntimeInstanceID);
    if (!framework_served(mDeviceInfo.outDeviceFramework) || mDeviceIndex >= GPU_SLOTS)
        return suiteError_Fail;
    real_mutex_lock(&GPU_cache.lock);
    r = suiteError_NoError;
    try {
        if (mDeviceInfo.outDeviceFramework == PrGPUDeviceFramework_OpenCL) {
            r = setup_opencl_slot();
        }
#ifdef CHROMALANE_CUDA
        else {
            cuda_section& c = GPU_cache.cuda;
            auto& slot = c.slot[mDeviceIndex];
            if (!slot.ready) {
                if (cuda_launch_shapes(slot.calc_block, slot.apply_block))
                    slot.ready = 1;
                else
                    r = suiteError_Fail;
            }
            if (r == suiteError_NoError && !c.host_lut_ready) {
                parameters_clear(&c.last_params);
                c.have_lut = 0;
                c.host_lut = static_cast<float*>(std::malloc(2 * LUT_BYTES));
                if (c.host_lut) {
                    real_rwlock_create(&c.lut_lock);
                    c.host_lut_ready = 1;
                } else {
                    r = suiteError_Fail;
                }
            }
        }
#endif
    } catch (...) {
        r = suiteError_Fail;
    }
    if (r == suiteError_NoError) {
        real_mutex_lock(&global.lock);
        ++global.gpu_filters;
        real_mutex_unlock(&global.lock);
        mCounted = true;
    }
    real_mutex_unlock(&GPU_cache.lock);
    return r;
}

// ---------------------------------------------------------------------------
// Parameters

prSuiteError GPU_filter::get_number(PrTime time, int index, double* value) {
    PrParam p{};
    if (!mVideoSegmentSuite ||
        mVideoSegmentSuite->GetParam(mNodeID, index, time, &p) != suiteError_NoError ||
        !param_number(p, value))
        return suiteError_Fail;
    return suiteError_NoError;
}

prSuiteError GPU_filter::get_transfer_function(PrTime time, bool input, transfer_function* tf) {
    const transfer_indices& m = input ? INPUT_INDICES : OUTPUT_INDICES;
    std::memset(static_cast<void*>(tf), 0, sizeof(*tf));
    double v = 0;
    prSuiteError r = get_number(time, m.kind, &v);
    tf->kind = static_cast<int32_t>(v);
    if (!r) r = get_number(time, m.iso, &v), tf->iso = static_cast<int32_t>(v);
    float* abc[6] = {&tf->a, &tf->b, &tf->c, &tf->d, &tf->e, &tf->f};
    for (int k = 0; k < 6 && !r; ++k) r = get_number(time, m.a + k, &v), *abc[k] = (float)v;
    if (!r) r = get_number(time, m.g, &v), tf->g = v != 0 ? 1 : 0;
    if (!r) r = get_number(time, m.h, &v), tf->h = v != 0 ? 1 : 0;
    if (!r) r = get_number(time, m.i, &v), tf->i = v != 0 ? 1 : 0;
    if (!r) r = get_number(time, m.black, &v), tf->black = static_cast<float>(v);
    if (!r) r = get_number(time, m.white, &v), tf->white = static_cast<float>(v);
    return r;
}

prSuiteError GPU_filter::get_color_space(PrTime time, bool input, color_space* cs) {
    const int first = (input ? INPUT_INDICES : OUTPUT_INDICES).red_x;
    double* out[8] = {&cs->red_x,  &cs->red_y,  &cs->green_x, &cs->green_y,
                      &cs->blue_x, &cs->blue_y, &cs->white_x, &cs->white_y};
    prSuiteError r = suiteError_NoError;
    for (int k = 0; k < 8 && !r; ++k) {
        double v = 0;
        r = get_number(time, first + k, &v);
        // Slider values are kept in float precision by the hosts, as the CPU path reads them.
        *out[k] = static_cast<double>(static_cast<float>(v));
    }
    return r;
}

prSuiteError GPU_filter::get_params(PrTime time, parameters* p) {
    parameters_clear(p);
    prSuiteError r = get_transfer_function(time, true, &p->input_transfer);
    if (!r) r = get_transfer_function(time, false, &p->output_transfer);
    if (!r) r = get_color_space(time, true, &p->input_space);
    if (!r) r = get_color_space(time, false, &p->output_space);
    double type = 0;
    if (!r) r = get_number(time, CARD_TYPE_INDEX, &type);
    const reference_card* ref = refcard(static_cast<refcard_type>(static_cast<int>(type)));
    card* cards[2] = {&p->source, &p->target};
    const int card_index[2] = {SOURCE_INDEX, TARGET_INDEX};
    for (int k = 0; k < 2 && !r; ++k) {
        PrParam v{};
        if (mVideoSegmentSuite->GetParam(mNodeID, card_index[k], time, &v) != suiteError_NoError ||
            v.mType != kPrParamType_PrMemoryPtr)
            return suiteError_Fail;
        if (v.mMemoryPtr) std::memcpy(static_cast<void*>(cards[k]), v.mMemoryPtr, sizeof(card));
        cards[k]->ref = ref;
    }
    double v = 0;
    if (!r) r = get_number(time, CORRECTION_INDEX, &v), p->mode = static_cast<int32_t>(v);
    if (!r) r = get_number(time, WHITE_BALANCE_INDEX, &v), p->white_balance = v != 0;
    if (!r) r = get_number(time, PRESERVE_LIGHTNESS_INDEX, &v), p->preserve_lightness = v != 0;
    float* adjustments[6] = {&p->exposure, &p->grays,  &p->contrast,
                             &p->whites,   &p->blacks, &p->saturation};
    for (int k = 0; k < 6 && !r; ++k)
        r = get_number(time, EXPOSURE_INDEX + k, &v), *adjustments[k] = static_cast<float>(v);
    if (!r) r = get_number(time, HIGHLIGHT_INDEX, &v), p->highlight_protection = v != 0;
    return r;
}

// ---------------------------------------------------------------------------
// Frames for the UI

char* GPU_filter::host_memory_malloc(size_t size, void* device_source) {
    char* block = static_cast<char*>(std::malloc(size ? size : 1));
    if (!block) return nullptr;
    bool copied = false;
    if (mDeviceInfo.outDeviceFramework == PrGPUDeviceFramework_OpenCL) {
        const opencl_api* cl = opencl_load();
        copied = cl && cl->clEnqueueReadBuffer(
                           static_cast<cl_command_queue>(mDeviceInfo.outCommandQueueHandle),
                           static_cast<cl_mem>(device_source), CL_TRUE, 0, size, block, 0, nullptr,
                           nullptr) == CL_SUCCESS;
    }
#ifdef CHROMALANE_CUDA
    else if (mDeviceInfo.outDeviceFramework == PrGPUDeviceFramework_CUDA) {
        copied = cuda_copy_to_host(block, device_source, size);
    }
#endif
    if (!copied) {
        std::free(block);
        return nullptr;
    }
    return block;
}

void GPU_filter::host_memory_free(char* pixels) {
    std::free(pixels);
}

void GPU_filter::cache_frame_if_needed(uint32_t instance_id,
                                       const PrGPUFilterRenderParams* render_params,
                                       const frame_geometry& g, void* pixels, int32_t row_bytes) {
    real_mutex_lock(&global.lock);
    // A request not served within 15 seconds is dropped, as the CPU render drops it.
    if (entry_now_us() - global.request_time_us >= 15000001) global.request_tick = -1;
    const bool pending =
        global.request_instance == instance_id && global.cached_tick < global.request_tick;
    if ((global.request_tick == -1 || pending) && global.cache_image_2.pixels) {
        host_memory_free(global.cache_image_2.pixels);
        global.cache_image_2.pixels = nullptr;
    }
    if (pending) {
        image& img = global.cache_image_2;
        std::memset(static_cast<void*>(&img), 0, sizeof(img));
        img.flag1 = img.flag2 = 1;
        img.format = g.is16f ? IMAGE_BGRA16F : IMAGE_BGRA32F;
        img.right = g.width;
        img.bottom = g.height;
        img.scale_x = render_params->inDownsampleFactorX;
        img.scale_y = render_params->inDownsampleFactorY;
        img.pixel_aspect =
            render_params->inRenderPARDen
                ? static_cast<double>(render_params->inRenderPARNum) / render_params->inRenderPARDen
                : 1.0;
        img.row_bytes = row_bytes;
        // The copy belongs to this slot: the next caching frees it, nobody else does.
        img.owns_pixels = 0;
        img.pixels = host_memory_malloc(
            static_cast<size_t>(row_bytes) * static_cast<size_t>(g.height), pixels);
        if (img.pixels) {
            global.cached_tick = global.request_tick;
            global.cached_frame_time = static_cast<uint32_t>(render_params->inClipTime);
            card_location& loc = global.cache_location_2;
            for (int k = 0; k < 4; ++k) {
                PrParam v{};
                if (mVideoSegmentSuite->GetParam(mNodeID, CORNER_INDEX + k,
                                                 render_params->inClipTime,
                                                 &v) == suiteError_NoError &&
                    v.mType == kPrParamType_Point)
                    loc.corners[k] = OfxPointD{v.mPoint.x * g.width, v.mPoint.y * g.height};
            }
            loc.scale_x = img.scale_x;
            loc.scale_y = img.scale_y;
        }
    }
    real_mutex_unlock(&global.lock);
}

// ---------------------------------------------------------------------------
// The table

prSuiteError GPU_filter::calc_LUT(const parameters* p) {
    float coeffs[COEFFICIENT_COUNT];
    set_coefficents(coeffs, p);
    if (mDeviceInfo.outDeviceFramework == PrGPUDeviceFramework_OpenCL) {
        const opencl_api& cl = *opencl_load();
        opencl_slot* s = &GPU_cache.opencl[mDeviceIndex];
        cl_int err = CL_SUCCESS;
        cl_mem buffer =
            cl.clCreateBuffer(static_cast<cl_context>(mDeviceInfo.outContextHandle),
                              CL_MEM_READ_ONLY | CL_MEM_COPY_HOST_PTR, sizeof coeffs, coeffs, &err);
        if (err != CL_SUCCESS) return suiteError_Fail;
        const size_t global_size[2] = {LUT_NODES, LUT_NODES * LUT_NODES};
        err = cl.clSetKernelArg(s->calc_kernel, 0, sizeof(cl_mem), &s->lut_image);
        if (err == CL_SUCCESS) err = cl.clSetKernelArg(s->calc_kernel, 1, sizeof(cl_mem), &buffer);
        auto queue = static_cast<cl_command_queue>(mDeviceInfo.outCommandQueueHandle);
        if (err == CL_SUCCESS)
            err = cl.clEnqueueNDRangeKernel(queue, s->calc_kernel, 2, nullptr, global_size, nullptr,
                                            0, nullptr, nullptr);
        if (err == CL_SUCCESS) err = cl.clFlush(queue);
        if (err == CL_SUCCESS) ++s->computations;
        cl.clReleaseMemObject(buffer);  // released once the kernel is done with it
        return err == CL_SUCCESS ? suiteError_NoError : suiteError_Fail;
    }
#ifdef CHROMALANE_CUDA
    if (mDeviceInfo.outDeviceFramework == PrGPUDeviceFramework_CUDA) {
        cuda_section& c = GPU_cache.cuda;
        if (!cuda_calc_LUT(coeffs, c.host_lut, c.slot[mDeviceIndex].calc_block))
            return suiteError_Fail;
        ++c.computations;
        return suiteError_NoError;
    }
#endif
    return suiteError_Fail;
}

prSuiteError GPU_filter::apply_LUT(const frame_geometry& g, void* pixels) {
    if (mDeviceInfo.outDeviceFramework == PrGPUDeviceFramework_OpenCL) {
        const opencl_api& cl = *opencl_load();
        opencl_slot* s = &GPU_cache.opencl[mDeviceIndex];
        auto buffer = static_cast<cl_mem>(pixels);
        auto queue = static_cast<cl_command_queue>(mDeviceInfo.outCommandQueueHandle);
        const size_t global_size[2] = {static_cast<size_t>(g.width), static_cast<size_t>(g.height)};
        real_mutex_lock(&s->launch_lock);
        cl_int err = cl.clSetKernelArg(s->apply_kernel, 0, sizeof(cl_mem), &buffer);
        const cl_int values[4] = {g.pitch, g.is16f, g.width, g.height};
        for (cl_uint k = 0; k < 4 && err == CL_SUCCESS; ++k)
            err = cl.clSetKernelArg(s->apply_kernel, 1 + k, sizeof(cl_int), &values[k]);
        if (err == CL_SUCCESS)
            err = cl.clSetKernelArg(s->apply_kernel, 5, sizeof(cl_mem), &s->lut_image);
        if (err == CL_SUCCESS)
            err = cl.clSetKernelArg(s->apply_kernel, 6, sizeof(cl_sampler), &s->lut_sampler);
        if (err == CL_SUCCESS)
            err = cl.clEnqueueNDRangeKernel(queue, s->apply_kernel, 2, nullptr, global_size,
                                            nullptr, 0, nullptr, nullptr);
        real_mutex_unlock(&s->launch_lock);
        if (err == CL_SUCCESS) err = cl.clFlush(queue);
        return err == CL_SUCCESS ? suiteError_NoError : suiteError_Fail;
    }
#ifdef CHROMALANE_CUDA
    if (mDeviceInfo.outDeviceFramework == PrGPUDeviceFramework_CUDA)
        return cuda_apply_LUT(GPU_cache.cuda.host_lut,
                              GPU_cache.cuda.slot[mDeviceIndex].apply_block, pixels, g)
                   ? suiteError_NoError
                   : suiteError_Fail;
#endif
    return suiteError_Fail;
}

// ---------------------------------------------------------------------------
// Rendering

prSuiteError GPU_filter::Render(const PrGPUFilterRenderParams* render_params, const PPixHand*,
                                csSDK_int32, PPixHand* out_frame) {
    try {
        if (!render_params || !out_frame || !*out_frame || !mGPUDeviceSuite || !mPPixSuite ||
            !mVideoSegmentSuite)
            return suiteError_Fail;
        void* pixels = nullptr;
        csSDK_int32 row_bytes = 0;
        PrPixelFormat format = PrPixelFormat_Invalid;
        prRect bounds{};
        if (mGPUDeviceSuite->GetGPUPPixData(*out_frame, &pixels) != suiteError_NoError ||
            mPPixSuite->GetRowBytes(*out_frame, &row_bytes) != suiteError_NoError ||
            mPPixSuite->GetPixelFormat(*out_frame, &format) != suiteError_NoError ||
            mPPixSuite->GetBounds(*out_frame, &bounds) != suiteError_NoError || !pixels)
            return suiteError_Fail;
        const bool full = format == PrPixelFormat_GPU_BGRA_4444_32f;
        if (!full && format != PrPixelFormat_GPU_BGRA_4444_16f) return suiteError_Fail;
        const int32_t bytes_per_pixel = full ? 16 : 8;
        frame_geometry g{row_bytes / bytes_per_pixel, full ? 0 : 1, bounds.right - bounds.left,
                         bounds.bottom - bounds.top};
        if (g.width <= 0 || g.height <= 0) return suiteError_NoError;
        if (row_bytes % bytes_per_pixel != 0 || g.pitch < g.width) return suiteError_Fail;

        const uint32_t id = GetProperty(kVideoSegmentProperty_Effect_RuntimeInstanceID);
        // The record is large (two cards); keep it off the render thread's stack.
        auto local = std::make_unique<parameters>();
        if (get_params(render_params->inClipTime, local.get()) != suiteError_NoError)
            return suiteError_Fail;
        cache_frame_if_needed(id, render_params, g, pixels, row_bytes);

        rwlock_* lock = nullptr;
        parameters* last = nullptr;
        uint8_t* have = nullptr;
        if (mDeviceInfo.outDeviceFramework == PrGPUDeviceFramework_OpenCL) {
            opencl_slot& s = GPU_cache.opencl[mDeviceIndex];
            lock = &s.lut_lock, last = &s.last_params, have = &s.have_lut;
        } else {
            lock = &GPU_cache.cuda.lut_lock, last = &GPU_cache.cuda.last_params;
            have = &GPU_cache.cuda.have_lut;
        }
        auto stale = [&] {
            return !*have || std::memcmp(static_cast<const void*>(local.get()),
                                         static_cast<const void*>(last), sizeof(parameters)) != 0;
        };
        real_rwlock_lock_r(lock);
        bool writing = false;
        if (stale()) {
            real_rwlock_unlock_r(lock);
            real_rwlock_lock_w(lock);
            writing = true;
            if (stale()) {
                const prSuiteError r = calc_LUT(local.get());
                // A failed computation leaves no table, so the next frame tries again.
                *have = r == suiteError_NoError;
                std::memcpy(static_cast<void*>(last), static_cast<const void*>(local.get()),
                            sizeof(parameters));
                if (r != suiteError_NoError) {
                    real_rwlock_unlock_w(lock);
                    return r;
                }
            }
        }
        const prSuiteError r = apply_LUT(g, pixels);
        if (writing)
            real_rwlock_unlock_w(lock);
        else
            real_rwlock_unlock_r(lock);
        return r;
    } catch (...) {
        return suiteError_Fail;
    }
}

// ---------------------------------------------------------------------------
// Entry

PLUGIN_EXPORT prSuiteError xGPUFilterEntry(csSDK_uint32 host_interface_version,
                                           csSDK_int32* io_index, prBool is_startup,
                                           piSuitesPtr suites, PrGPUFilter* out_filter,
                                           PrGPUFilterInfo* out_info) {
    (void)host_interface_version;
    (void)suites;
    if (!is_startup) {
        // The host is done with the filter: the device objects cached per slot go, so that
        // the program and the context they hold are freed before the plug-in is unloaded.
        const opencl_api* api = opencl_load();
        real_mutex_lock(&GPU_cache.lock);
        for (opencl_slot& s : GPU_cache.opencl)
            if (api && s.ready) {
                release_opencl_slot(*api, &s);
                s.context = nullptr;
                s.device = nullptr;
                s.ready = 0;
                s.have_lut = 0;
            }
        real_mutex_unlock(&GPU_cache.lock);
        return suiteError_NoError;
    }
    if (!io_index || !out_filter || !out_info) return suiteError_InvalidParms;
    if (*io_index > 0) return suiteError_InvalidParms;
    PrGPUFilterModule<GPU_filter>::Fill(out_filter);
    static const uint16_t EMPTY_NAME[1] = {0};
    out_info->outInterfaceVersion = PrSDKGPUFilterInterfaceVersion;
    out_info->outMatchName = EMPTY_NAME;
    return suiteError_NoError;
}

#if defined(_WIN32) && defined(CHROMALANE_CUDA)
// Asks laptops with two GPUs to run the process on the NVIDIA one.
PLUGIN_EXPORT uint32_t NvOptimusEnablementCuda = 1;
#endif
