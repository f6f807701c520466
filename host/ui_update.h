// Keeping the parameters consistent after a user change: a popup choice is copied into the
// hidden stores it stands for, and the cards follow the encoding of their side. The custom
// controls' events are answered here too.
#pragma once

#include "hostsdk/effect.h"

PF_Err Changed(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
               PF_UserChangedParamExtra* extra);
PF_Err UpdateUI(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                PF_LayerDef* output);
PF_Err Event(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
             PF_EventExtra* extra);
