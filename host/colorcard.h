// The ColorCard values of the "Source" and "Target" parameters: the native record the
// host stores (a `card` in a 24,608-byte host handle), the callbacks through which the
// host creates, copies, interpolates, compares and prints it, and the portable
// 12,384-byte encoding (network byte order, version, checksum) that ColorCard files carry.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cards/card.h"
#include "hostsdk/effect.h"
#include "pipeline/transfer.h"

// Size of a ColorCard value's handle; the tail after the card is padding.
constexpr A_HandleSize COLORCARD_BYTES = 24608;
// A flattened value may lack the trailing padding, but no more.
constexpr A_HandleSize COLORCARD_FLAT_MIN_BYTES = 24592;
// Size of the portable encoding: 3,096 big-endian 32-bit words.
constexpr size_t COLORCARD_CODE_BYTES = 12384;
constexpr int COLORCARD_CODE_WORDS = 3096;
// What CG_Print needs to print a whole card.
constexpr A_u_long COLORCARD_PRINT_BYTES = 65536;

// The float's bits in network byte order, and back.
uint32_t HTONF(float value);
float NTOHF(uint32_t value);

// Fills the 12,384-byte buffer with the card's encoding; returns the checksum word.
uint32_t encode_data(uint8_t* buffer, const transfer_function* tf, const color_space* cs,
                     const card* c);
// Decodes a 12,384-byte buffer: 1 on success; -2 when the checksum does not match; -1 for a
// newer version or content this build cannot use (a chart type it does not know, numbers that
// are not integers of a sensible size). The outputs are written only on success.
int decode_data(transfer_function* tf, color_space* cs, card* c, const uint8_t* buffer);

// The host's arbitrary-data callbacks for ColorCard values. Each returns a host error code:
// 4 when memory cannot be had (and then leaves no new handle behind).
PF_Err CG_Create(PF_InData* in_data, PF_OutData* out_data, PF_Handle* handle, const color_space* cs,
                 refcard_type type);
PF_Err CG_Copy(PF_InData* in_data, PF_OutData* out_data, const PF_Handle* source,
               PF_Handle* destination);
PF_Err CG_Interpolate(PF_InData* in_data, PF_OutData* out_data, double fraction,
                      const PF_Handle* left, const PF_Handle* right, PF_Handle* result);
PF_Err CG_Compare(PF_InData* in_data, PF_OutData* out_data, const PF_Handle* a, const PF_Handle* b,
                  PF_ArbCompareResult* result);
PF_Err CG_Print(PF_InData* in_data, PF_OutData* out_data, A_long print_flags, PF_Handle handle,
                A_u_long buffer_size, char* buffer);

// The chart record whose address a stored card holds, or null when the bytes name none of
// the built-in charts (stored pointers are never dereferenced unchecked).
const reference_card* colorcard_chart(const card* c);
