// The part of the OpenCL C API that the GPU filter and the headless host call, declared
// here (the plug-in links no OpenCL library and needs no OpenCL headers to build, on any
// platform) and reached through a table of functions loaded from the system's OpenCL
// library at run time.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define CL_API_CALL __stdcall
#else
#define CL_API_CALL
#endif

extern "C" {

typedef int32_t cl_int;
typedef uint32_t cl_uint;
typedef uint64_t cl_ulong;
typedef cl_ulong cl_bitfield;
typedef cl_uint cl_bool;
typedef cl_bitfield cl_mem_flags;
typedef cl_bitfield cl_device_type;
typedef cl_bitfield cl_command_queue_properties;
typedef cl_bitfield cl_map_flags;
typedef cl_uint cl_channel_order;
typedef cl_uint cl_channel_type;
typedef cl_uint cl_mem_object_type;
typedef cl_uint cl_addressing_mode;
typedef cl_uint cl_filter_mode;
typedef cl_uint cl_program_build_info;
typedef cl_uint cl_device_info;
typedef cl_uint cl_platform_info;
typedef intptr_t cl_context_properties;

typedef struct _cl_platform_id* cl_platform_id;
typedef struct _cl_device_id* cl_device_id;
typedef struct _cl_context* cl_context;
typedef struct _cl_command_queue* cl_command_queue;
typedef struct _cl_mem* cl_mem;
typedef struct _cl_program* cl_program;
typedef struct _cl_kernel* cl_kernel;
typedef struct _cl_event* cl_event;
typedef struct _cl_sampler* cl_sampler;

struct cl_image_format {
    cl_channel_order image_channel_order;
    cl_channel_type image_channel_data_type;
};

struct cl_image_desc {
    cl_mem_object_type image_type;
    size_t image_width;
    size_t image_height;
    size_t image_depth;
    size_t image_array_size;
    size_t image_row_pitch;
    size_t image_slice_pitch;
    cl_uint num_mip_levels;
    cl_uint num_samples;
    cl_mem buffer;
};

}  // extern "C"

enum : cl_int {
    CL_SUCCESS = 0,
    CL_DEVICE_NOT_FOUND = -1,
    CL_OUT_OF_HOST_MEMORY = -6,
    CL_BUILD_PROGRAM_FAILURE = -11,
    CL_INVALID_VALUE = -30,
};
constexpr cl_bool CL_FALSE = 0;
constexpr cl_bool CL_TRUE = 1;
constexpr cl_mem_flags CL_MEM_READ_WRITE = 1 << 0;
constexpr cl_mem_flags CL_MEM_WRITE_ONLY = 1 << 1;
constexpr cl_mem_flags CL_MEM_READ_ONLY = 1 << 2;
constexpr cl_mem_flags CL_MEM_ALLOC_HOST_PTR = 1 << 4;
constexpr cl_mem_flags CL_MEM_COPY_HOST_PTR = 1 << 5;
constexpr cl_mem_flags CL_MEM_HOST_NO_ACCESS = 1 << 9;
constexpr cl_map_flags CL_MAP_READ = 1 << 0;
constexpr cl_device_type CL_DEVICE_TYPE_ALL = 0xFFFFFFFF;
constexpr cl_channel_order CL_RGBA = 0x10B5;
constexpr cl_channel_type CL_HALF_FLOAT = 0x10DD;
constexpr cl_channel_type CL_FLOAT = 0x10DE;
constexpr cl_mem_object_type CL_MEM_OBJECT_IMAGE2D = 0x10F1;
constexpr cl_addressing_mode CL_ADDRESS_CLAMP_TO_EDGE = 0x1131;
constexpr cl_filter_mode CL_FILTER_LINEAR = 0x1141;
constexpr cl_program_build_info CL_PROGRAM_BUILD_LOG = 0x1183;
constexpr cl_platform_info CL_PLATFORM_NAME = 0x0902;
constexpr cl_device_info CL_DEVICE_IMAGE_SUPPORT = 0x1016;
constexpr cl_device_info CL_DEVICE_NAME = 0x102B;
constexpr cl_device_info CL_DEVICE_VERSION = 0x102F;
constexpr cl_context_properties CL_CONTEXT_PLATFORM = 0x1084;

// X(name, result, arguments): every function of the table.
#define CHROMALANE_OPENCL_FUNCTIONS(X)                                                             \
    X(clGetPlatformIDs, cl_int, (cl_uint, cl_platform_id*, cl_uint*))                              \
    X(clGetPlatformInfo, cl_int, (cl_platform_id, cl_platform_info, size_t, void*, size_t*))       \
    X(clGetDeviceIDs, cl_int, (cl_platform_id, cl_device_type, cl_uint, cl_device_id*, cl_uint*))  \
    X(clGetDeviceInfo, cl_int, (cl_device_id, cl_device_info, size_t, void*, size_t*))             \
    X(clCreateContext, cl_context,                                                                 \
      (const cl_context_properties*, cl_uint, const cl_device_id*,                                 \
       void(CL_API_CALL*)(const char*, const void*, size_t, void*), void*, cl_int*))               \
    X(clReleaseContext, cl_int, (cl_context))                                                      \
    X(clCreateCommandQueue, cl_command_queue,                                                      \
      (cl_context, cl_device_id, cl_command_queue_properties, cl_int*))                            \
    X(clReleaseCommandQueue, cl_int, (cl_command_queue))                                           \
    X(clCreateBuffer, cl_mem, (cl_context, cl_mem_flags, size_t, void*, cl_int*))                  \
    X(clCreateImage, cl_mem,                                                                       \
      (cl_context, cl_mem_flags, const cl_image_format*, const cl_image_desc*, void*, cl_int*))    \
    X(clReleaseMemObject, cl_int, (cl_mem))                                                        \
    X(clCreateSampler, cl_sampler,                                                                 \
      (cl_context, cl_bool, cl_addressing_mode, cl_filter_mode, cl_int*))                          \
    X(clReleaseSampler, cl_int, (cl_sampler))                                                      \
    X(clCreateProgramWithSource, cl_program,                                                       \
      (cl_context, cl_uint, const char**, const size_t*, cl_int*))                                 \
    X(clBuildProgram, cl_int,                                                                      \
      (cl_program, cl_uint, const cl_device_id*, const char*,                                      \
       void(CL_API_CALL*)(cl_program, void*), void*))                                              \
    X(clGetProgramBuildInfo, cl_int,                                                               \
      (cl_program, cl_device_id, cl_program_build_info, size_t, void*, size_t*))                   \
    X(clReleaseProgram, cl_int, (cl_program))                                                      \
    X(clCreateKernel, cl_kernel, (cl_program, const char*, cl_int*))                               \
    X(clReleaseKernel, cl_int, (cl_kernel))                                                        \
    X(clSetKernelArg, cl_int, (cl_kernel, cl_uint, size_t, const void*))                           \
    X(clEnqueueNDRangeKernel, cl_int,                                                              \
      (cl_command_queue, cl_kernel, cl_uint, const size_t*, const size_t*, const size_t*, cl_uint, \
       const cl_event*, cl_event*))                                                                \
    X(clEnqueueReadBuffer, cl_int,                                                                 \
      (cl_command_queue, cl_mem, cl_bool, size_t, size_t, void*, cl_uint, const cl_event*,         \
       cl_event*))                                                                                 \
    X(clEnqueueWriteBuffer, cl_int,                                                                \
      (cl_command_queue, cl_mem, cl_bool, size_t, size_t, const void*, cl_uint, const cl_event*,   \
       cl_event*))                                                                                 \
    X(clEnqueueCopyBuffer, cl_int,                                                                 \
      (cl_command_queue, cl_mem, cl_mem, size_t, size_t, size_t, cl_uint, const cl_event*,         \
       cl_event*))                                                                                 \
    X(clEnqueueReadImage, cl_int,                                                                  \
      (cl_command_queue, cl_mem, cl_bool, const size_t*, const size_t*, size_t, size_t, void*,     \
       cl_uint, const cl_event*, cl_event*))                                                       \
    X(clEnqueueWriteImage, cl_int,                                                                 \
      (cl_command_queue, cl_mem, cl_bool, const size_t*, const size_t*, size_t, size_t,            \
       const void*, cl_uint, const cl_event*, cl_event*))                                          \
    X(clFlush, cl_int, (cl_command_queue))                                                         \
    X(clFinish, cl_int, (cl_command_queue))

struct opencl_api {
#define CHROMALANE_OPENCL_MEMBER(name, result, args) result(CL_API_CALL* name) args;
    CHROMALANE_OPENCL_FUNCTIONS(CHROMALANE_OPENCL_MEMBER)
#undef CHROMALANE_OPENCL_MEMBER
};

// The table, loaded from the system's OpenCL library on first use (once per process);
// null when there is no such library or it lacks one of the functions.
const opencl_api* opencl_load();

// The text of an OpenCL error code ("CL_BUILD_PROGRAM_FAILURE"), or "OpenCL error N".
const char* opencl_error_name(cl_int code);
