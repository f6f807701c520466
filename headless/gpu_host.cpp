#include "headless/gpu_host.h"

#if defined(_WIN32)
#include "headless/dlfcn_windows.h"
#else
#include <dlfcn.h>
#endif

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "headless/memory.h"
#include "pipeline/image.h"

namespace {

// What the suites answer from: devices by index and effect instances by node id. Suites
// carry no host pointer, so these are process-wide, as a host's own tables are.
std::mutex registry_mutex;
headless_gpu_device* devices[12] = {};
std::map<int32_t, headless_instance*> nodes;

headless_gpu_device* device_at(uint32_t index) {
    std::lock_guard<std::mutex> guard(registry_mutex);
    return index < 12 ? devices[index] : nullptr;
}
headless_instance* node(int32_t id) {
    std::lock_guard<std::mutex> guard(registry_mutex);
    auto it = nodes.find(id);
    return it == nodes.end() ? nullptr : it->second;
}

headless_gpu_frame* frame_of(PPixHand h) {
    return reinterpret_cast<headless_gpu_frame*>(h);
}

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

// ---------------------------------------------------------------------------
// Suites

prSuiteError device_info(csSDK_uint32 version, csSDK_uint32 index, PrGPUDeviceInfo* info) {
    headless_gpu_device* d = device_at(index);
    if (!d || !info || version != PrGPUDeviceInfoVersion) return suiteError_Fail;
    *info = PrGPUDeviceInfo{};
    info->outAPIVersion = version;
    info->outDeviceFramework = d->framework;
    info->outMeetsMinimumRequirementsForAcceleration = 1;
    if (d->framework == PrGPUDeviceFramework_CUDA) {
        // The device ordinal and its context; work goes to the context's default stream.
        info->outDeviceHandle = reinterpret_cast<void*>(static_cast<intptr_t>(d->cuda_ordinal));
        info->outContextHandle = d->cuda_primary;
        return suiteError_NoError;
    }
    info->outPlatformHandle = d->platform;
    info->outDeviceHandle = d->device;
    info->outContextHandle = d->context;
    info->outCommandQueueHandle = d->queue;
    return suiteError_NoError;
}
prSuiteError pixel_data(PPixHand frame, void** pixels) {
    if (!frame || !pixels) return suiteError_InvalidParms;
    *pixels = frame_of(frame)->memory;
    return suiteError_NoError;
}
prSuiteError pixel_device(PPixHand frame, csSDK_uint32* index) {
    if (!frame || !index) return suiteError_InvalidParms;
    *index = frame_of(frame)->device->index;
    return suiteError_NoError;
}
const PrSDKGPUDeviceSuite DEVICE_SUITE = {device_info, pixel_data, pixel_device};

prSuiteError reserved() {
    return suiteError_NoError;
}
const PrSDKGPUImageProcessingSuite IMAGE_PROCESSING_SUITE = {reserved};
const PrSDKTransitionSuite TRANSITION_SUITE = {reserved};
const PrSDKOpaqueEffectDataSuite OPAQUE_SUITE = {reserved};

void dispose_ptr(PrMemoryPtr p) {
    std::free(p);
}
const PrSDKMemoryManagerSuite MEMORY_SUITE = {dispose_ptr};

prSuiteError bounds(PPixHand frame, prRect* r) {
    if (!frame || !r) return suiteError_InvalidParms;
    *r = prRect{0, 0, frame_of(frame)->width, frame_of(frame)->height};
    return suiteError_NoError;
}
prSuiteError row_bytes(PPixHand frame, csSDK_int32* bytes) {
    if (!frame || !bytes) return suiteError_InvalidParms;
    *bytes = frame_of(frame)->row_bytes;
    return suiteError_NoError;
}
prSuiteError pixel_format(PPixHand frame, PrPixelFormat* format) {
    if (!frame || !format) return suiteError_InvalidParms;
    *format =
        frame_of(frame)->half ? PrPixelFormat_GPU_BGRA_4444_16f : PrPixelFormat_GPU_BGRA_4444_32f;
    return suiteError_NoError;
}
const PrSDKPPixSuite PPIX_SUITE = {bounds, row_bytes, pixel_format};

prSuiteError frame_size(PPixHand frame, size_t* size) {
    if (!frame || !size) return suiteError_InvalidParms;
    const headless_gpu_frame* f = frame_of(frame);
    *size = static_cast<size_t>(f->row_bytes) * static_cast<size_t>(f->height);
    return suiteError_NoError;
}
const PrSDKPPix2Suite PPIX2_SUITE = {frame_size};

// A parameter by the segment's index (the effect's index less one), as the editing host
// answers it: popups as integers, sliders as doubles, points as fractions of the frame,
// ColorCards as a pointer to the value's bytes (owned by the host).
prSuiteError get_param(csSDK_int32 node_id, csSDK_int32 index, PrTime, PrParam* value) {
    headless_instance* inst = node(node_id);
    if (!inst || !value || index < 0 || index + 1 >= 88) return suiteError_InvalidParms;
    std::lock_guard<std::recursive_mutex> guard(inst->mutex);
    const PF_ParamDef& p = inst->params[index + 1];
    *value = PrParam{};
    switch (p.param_type) {
        case PF_Param_FLOAT_SLIDER:
            value->mType = kPrParamType_Float64;
            value->mFloat64 = p.u.fs_d.value;
            break;
        case PF_Param_FIX_SLIDER:
            value->mType = kPrParamType_Float64;
            value->mFloat64 = p.u.fd.value / 65536.0;
            break;
        case PF_Param_SLIDER:
            value->mType = kPrParamType_Int32;
            value->mInt32 = p.u.sd.value;
            break;
        case PF_Param_POPUP:
            value->mType = kPrParamType_Int32;
            value->mInt32 = p.u.pd.value;
            break;
        case PF_Param_CHECKBOX:
            value->mType = kPrParamType_Bool;
            value->mBool = p.u.bd.value ? 1 : 0;
            break;
        case PF_Param_POINT:
            value->mType = kPrParamType_Point;
            value->mPoint.x = inst->width > 0 ? p.u.td.x_value / 65536.0 / inst->width : 0;
            value->mPoint.y = inst->height > 0 ? p.u.td.y_value / 65536.0 / inst->height : 0;
            break;
        case PF_Param_ARBITRARY_DATA: {
            value->mType = kPrParamType_PrMemoryPtr;
            void* bytes = p.u.arb_d.value ? headless_lock_handle(p.u.arb_d.value) : nullptr;
            if (bytes) headless_unlock_handle(p.u.arb_d.value);
            value->mMemoryPtr = static_cast<PrMemoryPtr>(bytes);
            break;
        }
        default:
            return suiteError_InvalidParms;
    }
    return suiteError_NoError;
}
prSuiteError node_property(csSDK_int32 node_id, const char* key, PrMemoryPtr* value) {
    headless_instance* inst = node(node_id);
    if (!inst || !key || !value) return suiteError_InvalidParms;
    if (std::strcmp(key, kVideoSegmentProperty_Effect_RuntimeInstanceID) != 0)
        return suiteError_Fail;
    const std::string text = std::to_string(inst->id);
    *value = static_cast<PrMemoryPtr>(std::malloc(text.size() + 1));
    if (!*value) return suiteError_Fail;
    std::memcpy(*value, text.c_str(), text.size() + 1);
    return suiteError_NoError;
}
const PrSDKVideoSegmentSuite VIDEO_SEGMENT_SUITE = {get_param, node_property};

SPErr acquire(const char* name, A_long version, const void** suite) {
    struct entry {
        const char* name;
        A_long version;
        const void* suite;
    };
    static const entry SUITES[] = {
        {kPrSDKGPUDeviceSuite, kPrSDKGPUDeviceSuiteVersion, &DEVICE_SUITE},
        {kPrSDKGPUImageProcessingSuite, kPrSDKGPUImageProcessingSuiteVersion,
         &IMAGE_PROCESSING_SUITE},
        {kPrSDKMemoryManagerSuite, kPrSDKMemoryManagerSuiteVersion, &MEMORY_SUITE},
        {kPrSDKPPixSuite, kPrSDKPPixSuiteVersion, &PPIX_SUITE},
        {kPrSDKPPix2Suite, kPrSDKPPix2SuiteVersion, &PPIX2_SUITE},
        {kPrSDKTransitionSuite, kPrSDKTransitionSuiteVersion, &TRANSITION_SUITE},
        {kPrSDKVideoSegmentSuite, kPrSDKVideoSegmentSuiteVersion, &VIDEO_SEGMENT_SUITE},
        {kPrSDKOpaqueEffectDataSuite, kPrSDKOpaqueEffectDataSuiteVersion, &OPAQUE_SUITE},
    };
    *suite = nullptr;
    for (const entry& e : SUITES)
        if (std::strcmp(e.name, name) == 0 && e.version == version) {
            *suite = e.suite;
            return kSPNoError;
        }
    return kSPSuiteNotFoundError;
}
SPErr release(const char*, A_long) {
    return kSPNoError;
}
const SPBasicSuite BASIC = {acquire, release};

}  // namespace

// ---------------------------------------------------------------------------
// Device

namespace {

bool open_opencl(headless_gpu_device* d, std::string* error) {
    d->cl = opencl_load();
    if (!d->cl) return fail(error, "no OpenCL library (libOpenCL.so.1) could be loaded");
    const opencl_api& cl = *d->cl;
    cl_platform_id platforms[16];
    cl_uint platform_count = 0;
    if (cl.clGetPlatformIDs(16, platforms, &platform_count) != CL_SUCCESS || platform_count == 0)
        return fail(error, "no OpenCL platform is installed");
    for (cl_uint p = 0; p < platform_count && p < 16 && !d->device; ++p) {
        cl_device_id ids[16];
        cl_uint count = 0;
        if (cl.clGetDeviceIDs(platforms[p], CL_DEVICE_TYPE_ALL, 16, ids, &count) != CL_SUCCESS)
            continue;
        for (cl_uint k = 0; k < count && k < 16; ++k) {
            cl_bool images = CL_FALSE;
            cl.clGetDeviceInfo(ids[k], CL_DEVICE_IMAGE_SUPPORT, sizeof images, &images, nullptr);
            if (images) {
                d->platform = platforms[p];
                d->device = ids[k];
                break;
            }
        }
    }
    if (!d->device) return fail(error, "no OpenCL device with image support was found");
    char platform_name[256] = {}, device_name[256] = {};
    cl.clGetPlatformInfo(d->platform, CL_PLATFORM_NAME, sizeof platform_name - 1, platform_name,
                         nullptr);
    cl.clGetDeviceInfo(d->device, CL_DEVICE_NAME, sizeof device_name - 1, device_name, nullptr);
    d->name = std::string(platform_name) + ": " + device_name;
    const cl_context_properties properties[] = {
        CL_CONTEXT_PLATFORM, reinterpret_cast<cl_context_properties>(d->platform), 0};
    cl_int err = CL_SUCCESS;
    d->context = cl.clCreateContext(properties, 1, &d->device, nullptr, nullptr, &err);
    if (err != CL_SUCCESS) return fail(error, "cannot create an OpenCL context");
    d->queue = cl.clCreateCommandQueue(d->context, d->device, 0, &err);
    if (err != CL_SUCCESS) {
        cl.clReleaseContext(d->context);
        d->context = nullptr;
        return fail(error, "cannot create an OpenCL command queue");
    }
    return true;
}

bool cuda_failed(const headless_gpu_device* d, cuda_result r, const char* what,
                 std::string* error) {
    return fail(error, std::string(what) + " (" + cuda_driver_error_name(*d->cuda, r) + ")");
}

// The device's primary context made current on the calling thread, as a host does before
// each call into the filter: the filter's runtime and the host's driver calls then share it.
bool make_current(const headless_gpu_device* d, std::string* error = nullptr) {
    const cuda_result r = d->cuda->cuCtxSetCurrent(d->cuda_primary);
    return r == 0 || cuda_failed(d, r, "cannot make the CUDA context current", error);
}

bool open_cuda(headless_gpu_device* d, std::string* error) {
    const char* why = nullptr;
    d->cuda = cuda_driver_load(&why);
    if (!d->cuda) return fail(error, why);
    const cuda_driver_api& cu = *d->cuda;
    int count = 0;
    cuda_result r = cu.cuDeviceGetCount(&count);
    if (r != 0) return cuda_failed(d, r, "cannot count the CUDA devices", error);
    if (count < 1) return fail(error, "the NVIDIA driver lists no CUDA device");
    r = cu.cuDeviceGet(&d->cuda_ordinal, 0);
    if (r != 0) return cuda_failed(d, r, "cannot open CUDA device 0", error);
    char name[256] = {};
    cu.cuDeviceGetName(name, sizeof name - 1, d->cuda_ordinal);
    d->name = std::string("CUDA: ") + name;
    r = cu.cuDevicePrimaryCtxRetain(&d->cuda_primary, d->cuda_ordinal);
    if (r != 0) {
        d->cuda_primary = nullptr;
        return cuda_failed(d, r, "cannot create the CUDA device's context", error);
    }
    return make_current(d, error);
}

}  // namespace

bool headless_gpu_open(headless_gpu_device* d, uint32_t index, PrGPUDeviceFramework framework,
                       std::string* error) {
    *d = headless_gpu_device{};
    d->framework = framework;
    if (index >= 12) return fail(error, "device index out of range");
    bool opened = false;
    if (framework == PrGPUDeviceFramework_OpenCL)
        opened = open_opencl(d, error);
    else if (framework == PrGPUDeviceFramework_CUDA)
        opened = open_cuda(d, error);
    else
        return fail(error, "the headless host serves OpenCL and CUDA devices only");
    if (!opened) return false;
    d->index = index;
    std::lock_guard<std::mutex> guard(registry_mutex);
    devices[index] = d;
    return true;
}

void headless_gpu_close(headless_gpu_device* d) {
    {
        std::lock_guard<std::mutex> guard(registry_mutex);
        if (d->index < 12 && devices[d->index] == d) devices[d->index] = nullptr;
    }
    if (d->queue) d->cl->clReleaseCommandQueue(d->queue);
    if (d->context) d->cl->clReleaseContext(d->context);
    if (d->cuda_primary) d->cuda->cuDevicePrimaryCtxRelease_v2(d->cuda_ordinal);
    d->queue = nullptr;
    d->context = nullptr;
    d->cuda_primary = nullptr;
}

// ---------------------------------------------------------------------------
// Frames

bool headless_gpu_frame_upload(headless_gpu_device* d, const float* rgba, int width, int height,
                               bool half_float, headless_gpu_frame* f, std::string* error) {
    *f = headless_gpu_frame{};
    if (width <= 0 || height <= 0) return fail(error, "empty frame");
    const int bpp = half_float ? 8 : 16;
    // Rows padded to 256 bytes, so that the pitch differs from the width.
    const int32_t rb = (width * bpp + 255) / 256 * 256;
    const size_t size = static_cast<size_t>(rb) * static_cast<size_t>(height);
    std::vector<char> bytes(size, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float* s =
                rgba +
                (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4;
            const float bgra[4] = {s[2], s[1], s[0], s[3]};
            char* p = bytes.data() + static_cast<size_t>(y) * static_cast<size_t>(rb) +
                      static_cast<size_t>(x) * static_cast<size_t>(bpp);
            if (half_float) {
                const half h[4] = {float2half(bgra[0]), float2half(bgra[1]), float2half(bgra[2]),
                                   float2half(bgra[3])};
                std::memcpy(p, h, sizeof h);
            } else {
                std::memcpy(p, bgra, sizeof bgra);
            }
        }
    if (d->framework == PrGPUDeviceFramework_CUDA) {
        if (!make_current(d, error)) return false;
        cuda_pointer p = 0;
        cuda_result r = d->cuda->cuMemAlloc_v2(&p, size);
        if (r != 0) return cuda_failed(d, r, "cannot allocate the frame on the device", error);
        r = d->cuda->cuMemcpyHtoD_v2(p, bytes.data(), size);
        if (r != 0) {
            d->cuda->cuMemFree_v2(p);
            return cuda_failed(d, r, "cannot copy the frame to the device", error);
        }
        f->memory = reinterpret_cast<void*>(static_cast<uintptr_t>(p));
    } else {
        cl_int err = CL_SUCCESS;
        f->memory = d->cl->clCreateBuffer(d->context, CL_MEM_READ_WRITE | CL_MEM_COPY_HOST_PTR,
                                          size, bytes.data(), &err);
        if (err != CL_SUCCESS) return fail(error, "cannot allocate the frame on the device");
    }
    f->device = d;
    f->width = width;
    f->height = height;
    f->row_bytes = rb;
    f->half = half_float;
    return true;
}

bool headless_gpu_frame_download(const headless_gpu_frame* f, float* rgba, std::string* error) {
    const size_t size = static_cast<size_t>(f->row_bytes) * static_cast<size_t>(f->height);
    std::vector<char> bytes(size);
    const headless_gpu_device* d = f->device;
    if (d->framework == PrGPUDeviceFramework_CUDA) {
        if (!make_current(d, error)) return false;
        const cuda_result r = d->cuda->cuMemcpyDtoH_v2(
            bytes.data(), static_cast<cuda_pointer>(reinterpret_cast<uintptr_t>(f->memory)), size);
        if (r != 0) return cuda_failed(d, r, "cannot read the frame back from the device", error);
    } else if (d->cl->clEnqueueReadBuffer(d->queue, static_cast<cl_mem>(f->memory), CL_TRUE, 0,
                                          size, bytes.data(), 0, nullptr, nullptr) != CL_SUCCESS) {
        return fail(error, "cannot read the frame back from the device");
    }
    const int bpp = f->half ? 8 : 16;
    for (int y = 0; y < f->height; ++y)
        for (int x = 0; x < f->width; ++x) {
            const char* p = bytes.data() +
                            static_cast<size_t>(y) * static_cast<size_t>(f->row_bytes) +
                            static_cast<size_t>(x) * static_cast<size_t>(bpp);
            float bgra[4];
            if (f->half) {
                half h[4];
                std::memcpy(h, p, sizeof h);
                for (int k = 0; k < 4; ++k) bgra[k] = half2float(h[k]);
            } else {
                std::memcpy(bgra, p, sizeof bgra);
            }
            float* out = rgba + (static_cast<size_t>(y) * static_cast<size_t>(f->width) +
                                 static_cast<size_t>(x)) *
                                    4;
            out[0] = bgra[2], out[1] = bgra[1], out[2] = bgra[0], out[3] = bgra[3];
        }
    return true;
}

void headless_gpu_frame_free(headless_gpu_frame* f) {
    const headless_gpu_device* d = f->device;
    if (f->memory && d->framework == PrGPUDeviceFramework_CUDA) {
        if (make_current(d))
            d->cuda->cuMemFree_v2(
                static_cast<cuda_pointer>(reinterpret_cast<uintptr_t>(f->memory)));
    } else if (f->memory) {
        d->cl->clReleaseMemObject(static_cast<cl_mem>(f->memory));
    }
    f->memory = nullptr;
}

// ---------------------------------------------------------------------------
// The filter

namespace {
PrGPUFilterEntry entry_of(headless_plugin* plugin, PrGPUFilterEntry entry) {
    if (entry) return entry;
    void* sym = plugin->library ? dlsym(plugin->library, "xGPUFilterEntry") : nullptr;
    return reinterpret_cast<PrGPUFilterEntry>(sym);
}
}  // namespace

prSuiteError headless_gpu_entry(headless_plugin* plugin, int32_t index, PrGPUFilter* filter,
                                PrGPUFilterEntry entry) {
    entry = entry_of(plugin, entry);
    if (!entry) return suiteError_NotImplemented;
    PrGPUFilterInfo info{};
    csSDK_int32 i = index;
    return entry(PrSDKGPUFilterInterfaceVersion, &i, 1, &BASIC, filter, &info);
}

prSuiteError headless_gpu_shutdown(headless_plugin* plugin, PrGPUFilterEntry entry) {
    entry = entry_of(plugin, entry);
    if (!entry) return suiteError_NotImplemented;
    csSDK_int32 i = 0;
    return entry(PrSDKGPUFilterInterfaceVersion, &i, 0, &BASIC, nullptr, nullptr);
}

prSuiteError headless_gpu_create(headless_instance* inst, const PrGPUFilter* filter,
                                 uint32_t device_index, PrGPUFilterInstance* record) {
    {
        std::lock_guard<std::mutex> guard(registry_mutex);
        nodes[inst->id] = inst;
    }
    *record = PrGPUFilterInstance{};
    record->piSuites = &BASIC;
    record->inDeviceIndex = device_index;
    record->inNodeID = inst->id;
    const headless_gpu_device* d = device_at(device_index);
    if (d && d->framework == PrGPUDeviceFramework_CUDA && !make_current(d)) return suiteError_Fail;
    return filter->CreateInstance(record);
}

prSuiteError headless_gpu_filter_new(headless_instance* inst, headless_gpu_device* d,
                                     headless_gpu_filter* filter, std::string* error,
                                     PrGPUFilterEntry entry) {
    *filter = headless_gpu_filter{};
    filter->instance = inst;
    filter->device = d;
    prSuiteError r = headless_gpu_entry(inst->host->plugin, 0, &filter->filter, entry);
    if (r != suiteError_NoError) {
        if (error) *error = "the plug-in exports no GPU filter";
        return r;
    }
    r = headless_gpu_create(inst, &filter->filter, d->index, &filter->record);
    if (r != suiteError_NoError) {
        if (error) *error = "the GPU filter refused the device (" + d->name + ")";
        return r;
    }
    filter->created = true;
    return r;
}

void headless_gpu_filter_delete(headless_gpu_filter* filter) {
    if (filter->created) filter->filter.DisposeInstance(&filter->record);
    filter->created = false;
    std::lock_guard<std::mutex> guard(registry_mutex);
    if (filter->instance) nodes.erase(filter->instance->id);
}

prSuiteError headless_gpu_render(headless_gpu_filter* filter, headless_gpu_frame* frame) {
    headless_instance* inst = filter->instance;
    PrGPUFilterRenderParams params{};
    params.inClipTime = inst->current_time;
    params.inSequenceTime = inst->current_time;
    params.inNextClipTime = inst->current_time + inst->time_step;
    params.inDownsampleFactorX = params.inDownsampleFactorY =
        1.0f / static_cast<float>(inst->downsample > 0 ? inst->downsample : 1);
    params.inRenderWidth = static_cast<csSDK_uint32>(frame->width);
    params.inRenderHeight = static_cast<csSDK_uint32>(frame->height);
    params.inRenderPARNum = params.inRenderPARDen = 1;
    params.inRenderTicksPerFrame = inst->time_step;
    PPixHand hand = reinterpret_cast<PPixHand>(frame);
    PPixHand out = hand;
    const headless_gpu_device* d = filter->device;
    const bool cuda = d->framework == PrGPUDeviceFramework_CUDA;
    if (cuda && !make_current(d)) return suiteError_Fail;
    prSuiteError r = filter->filter.Render(&filter->record, &params, &hand, 1, &out);
    // The host waits for the device before it shows (here: reads) the frame.
    if (r == suiteError_NoError) {
        if (cuda ? d->cuda->cuCtxSynchronize() != 0 : d->cl->clFinish(d->queue) != CL_SUCCESS)
            r = suiteError_Fail;
    }
    return r;
}
