// The editing host's GPU filter interface: a second entry point beside the
// effect API, through which the host hands device frames to a filter instance.
// The base class and module template below are the glue such a host expects a
// filter to be built from; the filter derives from the base and is exported
// through the module's five functions.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <new>

#include "hostsdk/suites.h"

extern "C" {

typedef int32_t csSDK_int32;
typedef uint32_t csSDK_uint32;
typedef int64_t csSDK_int64;
typedef int64_t PrTime;
typedef int32_t prSuiteError;
typedef int32_t prBool;
typedef struct _PPix* PPixHand;
typedef char* PrMemoryPtr;
typedef struct _PrTimelineID* PrTimelineID;

enum : prSuiteError {
    suiteError_NoError = 0,
    suiteError_Fail = static_cast<prSuiteError>(0x80000000u),
    suiteError_InvalidParms = static_cast<prSuiteError>(0x80000001u),
    suiteError_NotImplemented = static_cast<prSuiteError>(0x80000004u),
};

struct prRect {
    csSDK_int32 left, top, right, bottom;
};

enum PrGPUDeviceFramework {
    PrGPUDeviceFramework_CUDA = 0,
    PrGPUDeviceFramework_OpenCL = 1,
    PrGPUDeviceFramework_Metal = 2,
};

struct PrGPUDeviceInfo {
    csSDK_uint32 outAPIVersion;
    PrGPUDeviceFramework outDeviceFramework;
    prBool outMeetsMinimumRequirementsForAcceleration;
    void* outPlatformHandle;      // OpenCL platform
    void* outDeviceHandle;        // CUcontext's device, cl_device_id or MTLDevice
    void* outContextHandle;       // CUcontext, cl_context
    void* outCommandQueueHandle;  // CUstream, cl_command_queue or MTLCommandQueue
};
enum { PrGPUDeviceInfoVersion = 2 };

// A parameter value as the video segment suite answers it.
enum PrParamType {
    kPrParamType_Int8 = 1,
    kPrParamType_Int16,
    kPrParamType_Int32,
    kPrParamType_Int64,
    kPrParamType_Float32,
    kPrParamType_Float64,
    kPrParamType_Bool,
    kPrParamType_Point,
    kPrParamType_Guid,
    kPrParamType_PrMemoryPtr,
};

struct prFPoint64 {
    double x, y;  // fractions of the frame size
};

struct PrParam {
    PrParamType mType;
    union {
        int8_t mInt8;
        int16_t mInt16;
        csSDK_int32 mInt32;
        csSDK_int64 mInt64;
        float mFloat32;
        double mFloat64;
        uint8_t mBool;
        prFPoint64 mPoint;
        PrMemoryPtr mMemoryPtr;  // arbitrary data, owned by the host
    };
};

typedef const struct SPBasicSuite* piSuitesPtr;

struct PrGPUFilterInstance {
    piSuitesPtr piSuites;
    csSDK_uint32 inDeviceIndex;
    PrTimelineID inTimelineID;
    csSDK_int32 inNodeID;
    void* ioPrivatePluginData;
    prBool outIsRealtime;
};

struct PrGPUFilterRenderParams {
    PrTime inClipTime;
    PrTime inNextClipTime;
    PrTime inSequenceTime;
    csSDK_int32 inQuality;
    float inDownsampleFactorX;
    float inDownsampleFactorY;
    csSDK_uint32 inRenderWidth;
    csSDK_uint32 inRenderHeight;
    csSDK_uint32 inRenderPARNum;
    csSDK_uint32 inRenderPARDen;
    csSDK_int32 inRenderFieldType;
    PrTime inRenderTicksPerFrame;
};

struct PrGPUFilterFrameDependency;

struct PrGPUFilter {
    prSuiteError (*CreateInstance)(PrGPUFilterInstance* instance);
    prSuiteError (*DisposeInstance)(PrGPUFilterInstance* instance);
    prSuiteError (*GetFrameDependencies)(PrGPUFilterInstance* instance,
                                         const PrGPUFilterRenderParams* render_params,
                                         csSDK_int32* query_index,
                                         PrGPUFilterFrameDependency* dependency);
    prSuiteError (*Precompute)(PrGPUFilterInstance* instance,
                               const PrGPUFilterRenderParams* render_params, csSDK_int32 index,
                               PPixHand frame);
    prSuiteError (*Render)(PrGPUFilterInstance* instance,
                           const PrGPUFilterRenderParams* render_params, const PPixHand* frames,
                           csSDK_int32 frame_count, PPixHand* out_frame);
};

struct PrGPUFilterInfo {
    csSDK_uint32 outInterfaceVersion;
    const uint16_t* outMatchName;  // UTF-16, empty for "the effect's own match name"
};

enum { PrSDKGPUFilterInterfaceVersion = 2 };

// The second exported entry point.
typedef prSuiteError (*PrGPUFilterEntry)(csSDK_uint32 host_interface_version, csSDK_int32* io_index,
                                         prBool is_startup, piSuitesPtr suites,
                                         PrGPUFilter* out_filter, PrGPUFilterInfo* out_info);

// ---------------------------------------------------------------------------
// Suites

#define kPrSDKGPUDeviceSuite "MediaCore GPU Device Suite"
#define kPrSDKGPUDeviceSuiteVersion 2
struct PrSDKGPUDeviceSuite {
    prSuiteError (*GetDeviceInfo)(csSDK_uint32 version, csSDK_uint32 device_index,
                                  PrGPUDeviceInfo* info);
    prSuiteError (*GetGPUPPixData)(PPixHand frame, void** device_pixels);
    prSuiteError (*GetGPUPPixDeviceIndex)(PPixHand frame, csSDK_uint32* device_index);
};

#define kPrSDKGPUImageProcessingSuite "MediaCore GPU Image Processing Suite"
#define kPrSDKGPUImageProcessingSuiteVersion 1
struct PrSDKGPUImageProcessingSuite {
    prSuiteError (*Reserved)(void);
};

#define kPrSDKMemoryManagerSuite "Premiere Memory Manager Suite"
#define kPrSDKMemoryManagerSuiteVersion 4
struct PrSDKMemoryManagerSuite {
    void (*PrDisposePtr)(PrMemoryPtr ptr);
};

#define kPrSDKPPixSuite "Premiere PPix Suite"
#define kPrSDKPPixSuiteVersion 1
struct PrSDKPPixSuite {
    prSuiteError (*GetBounds)(PPixHand frame, prRect* bounds);
    prSuiteError (*GetRowBytes)(PPixHand frame, csSDK_int32* row_bytes);
    prSuiteError (*GetPixelFormat)(PPixHand frame, PrPixelFormat* format);
};

#define kPrSDKPPix2Suite "Premiere PPix 2 Suite"
#define kPrSDKPPix2SuiteVersion 3
struct PrSDKPPix2Suite {
    prSuiteError (*GetSize)(PPixHand frame, size_t* size);
};

#define kPrSDKTransitionSuite "PF Transition Suite"
#define kPrSDKTransitionSuiteVersion 2
struct PrSDKTransitionSuite {
    prSuiteError (*Reserved)(void);
};

#define kPrSDKVideoSegmentSuite "MediaCore Video Segment Suite"
#define kPrSDKVideoSegmentSuiteVersion 9
struct PrSDKVideoSegmentSuite {
    // Index counts the effect's parameters without the input layer.
    prSuiteError (*GetParam)(csSDK_int32 node_id, csSDK_int32 index, PrTime time, PrParam* value);
    // Answers a node property as text, released by the caller with the memory suite.
    prSuiteError (*GetNodeProperty)(csSDK_int32 node_id, const char* key, PrMemoryPtr* value);
};

#define kPrSDKOpaqueEffectDataSuite "Opaque Effect Data Suite"
#define kPrSDKOpaqueEffectDataSuiteVersion 2
struct PrSDKOpaqueEffectDataSuite {
    prSuiteError (*Reserved)(void);
};

#define kVideoSegmentProperty_Effect_RuntimeInstanceID "EffectNode::RuntimeInstanceID"

}  // extern "C"

// ---------------------------------------------------------------------------
// Filter glue

class PrGPUFilterBase {
  public:
    virtual ~PrGPUFilterBase() = default;

    // Records the instance and acquires the host suites every filter needs.
    virtual prSuiteError Initialize(PrGPUFilterInstance* instance) {
        mDeviceIndex = instance->inDeviceIndex;
        mTimelineID = instance->inTimelineID;
        mNodeID = instance->inNodeID;
        mSuites = instance->piSuites;
        acquire(kPrSDKGPUDeviceSuite, kPrSDKGPUDeviceSuiteVersion, &mGPUDeviceSuite);
        acquire(kPrSDKGPUImageProcessingSuite, kPrSDKGPUImageProcessingSuiteVersion,
                &mGPUImageProcessingSuite);
        acquire(kPrSDKMemoryManagerSuite, kPrSDKMemoryManagerSuiteVersion, &mMemoryManagerSuite);
        acquire(kPrSDKPPixSuite, kPrSDKPPixSuiteVersion, &mPPixSuite);
        acquire(kPrSDKPPix2Suite, kPrSDKPPix2SuiteVersion, &mPPix2Suite);
        acquire(kPrSDKTransitionSuite, kPrSDKTransitionSuiteVersion, &mTransitionSuite);
        acquire(kPrSDKVideoSegmentSuite, kPrSDKVideoSegmentSuiteVersion, &mVideoSegmentSuite);
        mDeviceInfo = PrGPUDeviceInfo{};
        if (!mGPUDeviceSuite) return suiteError_Fail;
        return mGPUDeviceSuite->GetDeviceInfo(PrGPUDeviceInfoVersion, mDeviceIndex, &mDeviceInfo);
    }

    virtual prSuiteError GetFrameDependencies(const PrGPUFilterRenderParams*, csSDK_int32*,
                                              PrGPUFilterFrameDependency*) {
        return suiteError_NotImplemented;
    }
    virtual prSuiteError Precompute(const PrGPUFilterRenderParams*, csSDK_int32, PPixHand) {
        return suiteError_NotImplemented;
    }
    virtual prSuiteError Render(const PrGPUFilterRenderParams* render_params,
                                const PPixHand* frames, csSDK_int32 frame_count,
                                PPixHand* out_frame) = 0;

  protected:
    // A node property as an unsigned number (0 when absent or not a number).
    csSDK_uint32 GetProperty(const char* key) const {
        PrMemoryPtr text = nullptr;
        csSDK_uint32 value = 0;
        if (mVideoSegmentSuite &&
            mVideoSegmentSuite->GetNodeProperty(mNodeID, key, &text) == suiteError_NoError &&
            text) {
            value = static_cast<csSDK_uint32>(std::strtoul(text, nullptr, 10));
            if (mMemoryManagerSuite) mMemoryManagerSuite->PrDisposePtr(text);
        }
        return value;
    }

    piSuitesPtr mSuites = nullptr;
    csSDK_uint32 mDeviceIndex = 0;
    PrTimelineID mTimelineID = nullptr;
    csSDK_int32 mNodeID = 0;
    PrGPUDeviceInfo mDeviceInfo{};
    const PrSDKGPUDeviceSuite* mGPUDeviceSuite = nullptr;
    const PrSDKGPUImageProcessingSuite* mGPUImageProcessingSuite = nullptr;
    const PrSDKMemoryManagerSuite* mMemoryManagerSuite = nullptr;
    const PrSDKPPixSuite* mPPixSuite = nullptr;
    const PrSDKPPix2Suite* mPPix2Suite = nullptr;
    const PrSDKTransitionSuite* mTransitionSuite = nullptr;
    const PrSDKVideoSegmentSuite* mVideoSegmentSuite = nullptr;

  private:
    template <typename S>
    void acquire(const char* name, A_long version, const S** suite) {
        const void* p = nullptr;
        if (mSuites && mSuites->AcquireSuite(name, version, &p) == kSPNoError)
            *suite = static_cast<const S*>(p);
        else
            *suite = nullptr;
    }
};

// Wraps a filter class T into the table of functions the host calls.
template <typename T>
struct PrGPUFilterModule {
    static prSuiteError CreateInstance(PrGPUFilterInstance* instance) {
        T* filter = new (std::nothrow) T();
        if (!filter) return suiteError_Fail;
        prSuiteError result = filter->Initialize(instance);
        if (result < 0) {
            delete filter;
            return result;
        }
        instance->ioPrivatePluginData = filter;
        return result;
    }
    static prSuiteError DisposeInstance(PrGPUFilterInstance* instance) {
        delete static_cast<T*>(instance->ioPrivatePluginData);
        instance->ioPrivatePluginData = nullptr;
        return suiteError_NoError;
    }
    static prSuiteError GetFrameDependencies(PrGPUFilterInstance* instance,
                                             const PrGPUFilterRenderParams* params,
                                             csSDK_int32* query_index,
                                             PrGPUFilterFrameDependency* dependency) {
        return static_cast<T*>(instance->ioPrivatePluginData)
            ->GetFrameDependencies(params, query_index, dependency);
    }
    static prSuiteError Precompute(PrGPUFilterInstance* instance,
                                   const PrGPUFilterRenderParams* params, csSDK_int32 index,
                                   PPixHand frame) {
        return static_cast<T*>(instance->ioPrivatePluginData)->Precompute(params, index, frame);
    }
    static prSuiteError Render(PrGPUFilterInstance* instance, const PrGPUFilterRenderParams* params,
                               const PPixHand* frames, csSDK_int32 frame_count,
                               PPixHand* out_frame) {
        return static_cast<T*>(instance->ioPrivatePluginData)
            ->Render(params, frames, frame_count, out_frame);
    }
    static void Fill(PrGPUFilter* out) {
        out->CreateInstance = CreateInstance;
        out->DisposeInstance = DisposeInstance;
        out->GetFrameDependencies = GetFrameDependencies;
        out->Precompute = Precompute;
        out->Render = Render;
    }
};
