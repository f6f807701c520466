// The registration record. It sits in a section of its own: on Linux a host reads it
// from the plug-in file there, and the Windows build turns the section's bytes into the
// PiPL resource.
#include "host/registration.h"

extern "C" {
__attribute__((section(".pipl"), used)) const registration_record REGISTRATION = {
    REGISTRATION_MAGIC,
    0,
    12,
    {
        {fourcc("8BIM"), fourcc("kind"), 0, 4, {'e', 'F', 'K', 'T'}},
        {fourcc("8BIM"), fourcc("name"), 0, 31, {"Chromalane Color Corrector III"}},
        {fourcc("8BIM"), fourcc("catg"), 0, 17, {"Color Correction"}},
        {fourcc("8BIM"), fourcc("8664"), 0, 15, {"EntryPointFunc"}},
        {fourcc("8BIM"), fourcc("ePVR"), 0, 4, {0, 0, 2, 0}},    // 2.0
        {fourcc("8BIM"), fourcc("eSVR"), 0, 4, {27, 0, 13, 0}},  // 13.27
        {fourcc("8BIM"),
         fourcc("eVER"),
         0,
         4,
         {static_cast<uint8_t>(EFFECT_VERSION & 0xff),
          static_cast<uint8_t>((EFFECT_VERSION >> 8) & 0xff),
          static_cast<uint8_t>((EFFECT_VERSION >> 16) & 0xff),
          static_cast<uint8_t>(EFFECT_VERSION >> 24)}},
        {fourcc("8BIM"), fourcc("eINF"), 0, 4, {0, 0, 0, 0}},
        {fourcc("8BIM"), fourcc("eGLO"), 0, 4, {0x21, 0x84, 0x00, 0x02}},
        {fourcc("8BIM"), fourcc("eGL2"), 0, 4, {0x88, 0x14, 0x00, 0x08}},
        {fourcc("8BIM"), fourcc("eMNA"), 0, 31, {"Chromalane Color Corrector III"}},
        {fourcc("8BIM"), fourcc("aeRD"), 0, 4, {0, 0, 0, 0}},
    },
};
}
