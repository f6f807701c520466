// The registration resource of the effect: the properties a host reads before it calls the
// entry point. On Linux the record lives in its own section of the plug-in file, where a
// host finds it without running any of the plug-in's code.
#pragma once

#include <cstdint>

constexpr const char* REGISTRATION_SECTION = ".pipl";
constexpr uint32_t REGISTRATION_MAGIC = 0x5069504c;  // "PiPL"

constexpr uint32_t fourcc(const char (&s)[5]) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(s[0])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 8) |
           static_cast<uint32_t>(static_cast<uint8_t>(s[3]));
}

// One property: vendor code, key, id, the length of its data and the data (text ends
// with a zero byte; numbers are 32-bit words in the processor's order).
struct registration_property {
    uint32_t vendor;
    uint32_t key;
    uint32_t id;
    uint32_t length;
    uint8_t data[64];
};

struct registration_record {
    uint32_t magic;
    uint32_t version;  // of this layout, 0
    uint32_t count;    // properties that follow, 12
    registration_property properties[12];
};

// Packs a version number as the hosts expect it in `my_version` and the resource.
constexpr uint32_t pack_version(uint32_t major, uint32_t minor, uint32_t bug, uint32_t stage,
                                uint32_t build) {
    return ((major & 0x7f) << 19) | ((minor & 0xf) << 15) | ((bug & 0xf) << 11) |
           ((stage & 0x3) << 9) | (build & 0x1ff);
}

// The record as the plug-in carries it.
extern "C" const registration_record REGISTRATION;

constexpr uint32_t EFFECT_VERSION = pack_version(3, 0, 0, 3, 1);
constexpr uint32_t EFFECT_OUT_FLAGS = 0x02008421;
constexpr uint32_t EFFECT_OUT_FLAGS2 = 0x08001488;
constexpr const char* EFFECT_MATCH_NAME = "Chromalane Color Corrector III";
