// The effect's entry point and the process-wide state that lives between commands: the
// frame cache that the custom UI asks the renderer to fill, and the host-buffer wrappers.
#pragma once

#include <cstdint>

#include "cards/sampling.h"
#include "hostsdk/effect.h"
#include "pipeline/image.h"
#include "platform/platform.h"

extern "C" PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                 PF_ParamDef* params[], PF_LayerDef* output, void* extra);

// The frame cache shared by the renderers and the custom UI, guarded by `lock`.
struct global_record {
    real_mutex lock;
    int32_t patch_card;  // 40, 41, or -1 for no patch selection
    int32_t patch_index;
    uint32_t patch_set_by_effect;
    uint32_t patch_instance;
    int32_t gpu_filters;
    image cache_image;
    card_location cache_location;
    // Filled by the GPU filter: BGRA32f or BGRA16f pixels in a heap block that the filter
    // frees when it replaces them (owns_pixels 0, no host handle); readers only read.
    image cache_image_2;
    card_location cache_location_2;
    int64_t request_time_us;
    uint32_t request_instance;
    uint32_t request_frame_time;
    int32_t request_tick;  // -1: no request pending
    int32_t cached_tick;
    uint32_t cached_frame_time;
    uint32_t request_action;
    uint32_t request_card;
    uint32_t request_modifiers;
    int32_t rerender_counter;
};
extern global_record global;
extern int64_t tick_zero;
extern uint32_t need_to_check_current_time_in_render_cache_frame;

void make_sure_initialised();
uint32_t instanceID(PF_InData* in_data);

PF_Err makeImage(PF_InData* in_data, int width, int height, image* img);
PF_Err getImage(PF_InData* in_data, PF_OutData* out_data, PF_LayerDef* world, image* img);
PF_Err duplicateImage(PF_InData* in_data, const image* source, image* copy);
void freeImage(PF_InData* in_data, image* img);

PF_Err SharedRender(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                    PF_LayerDef* input, PF_LayerDef* output);
PF_Err DoDialog(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]);

// Wall-clock microseconds. Tests replace the clock to age a frame request.
int64_t entry_now_us();
void entry_set_clock(int64_t (*clock)());
