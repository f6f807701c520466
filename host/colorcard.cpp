#include "host/colorcard.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

// The native record is stored in projects byte for byte, so its layout is fixed.
static_assert(sizeof(void*) == 8, "the ColorCard record assumes 64-bit pointers");
static_assert(offsetof(card, ref) == 0);
static_assert(offsetof(card, reference) == 8);
static_assert(offsetof(card, display_valid) == 9);
static_assert(offsetof(card, linear) == 12);
static_assert(offsetof(card, display) == 12300);
static_assert(sizeof(card::linear) == 3 * 1024 * 4 && sizeof(card::display) == 3 * 1024 * 4);
static_assert(offsetof(card, display) + sizeof(card::display) == 24588);
static_assert(sizeof(card) <= COLORCARD_BYTES && sizeof(card) == COLORCARD_FLAT_MIN_BYTES);
static_assert(std::endian::native == std::endian::little, "ColorCard values are little-endian");
static_assert(24 + 3 * CARD_MAX_PATCHES == COLORCARD_CODE_WORDS);
static_assert(COLORCARD_CODE_BYTES == 4 * COLORCARD_CODE_WORDS);

namespace {

enum : int {
    W_CHECKSUM = 0,
    W_VERSION = 1,
    W_KIND = 2,
    W_CHART = 3,
    W_FLAGS = 4,
    W_ISO = 5,
    W_TRANSFER = 8,  // a ... f, black, white
    W_SPACE = 16,    // eight chromaticities
    W_PATCHES = 24,  // display R, G, B per patch
};

uint32_t raw_word(const uint8_t* buffer, int index) {
    uint32_t w;
    std::memcpy(&w, buffer + 4 * index, 4);
    return w;
}

void put(uint8_t* buffer, int index, float value) {
    const uint32_t w = HTONF(value);
    std::memcpy(buffer + 4 * index, &w, 4);
}

float get(const uint8_t* buffer, int index) {
    return NTOHF(raw_word(buffer, index));
}

// Byte-wise exclusive-or of all words but the first, which is why byte order does not matter.
uint32_t checksum(const uint8_t* buffer) {
    uint32_t sum = 0;
    for (int i = 1; i < COLORCARD_CODE_WORDS; ++i) sum ^= raw_word(buffer, i);
    return sum;
}

// The integer part of a stored number, refusing what no integer field could hold.
bool integer_part(float value, int32_t* out) {
    if (!std::isfinite(value) || value >= 2147483648.0f || value < -2147483648.0f) return false;
    *out = static_cast<int32_t>(value);
    return true;
}

uint32_t bit(uint8_t flag) {
    return flag != 0 ? 1u : 0u;
}

// ---------------------------------------------------------------------------
// Handles

void* lock(PF_InData* in_data, PF_Handle h) {
    return h ? in_data->utils->host_lock_handle(h) : nullptr;
}

void unlock(PF_InData* in_data, PF_Handle h, const void* memory) {
    if (h && memory) in_data->utils->host_unlock_handle(h);
}

// A whole value as the handle holds it.
struct colorcard_value {
    card c;
    uint8_t padding[COLORCARD_BYTES - sizeof(card)];
};
static_assert(sizeof(colorcard_value) == COLORCARD_BYTES);

// Copies a value out of a locked handle; a short handle reads as zero beyond its end.
void read_value(PF_InData* in_data, PF_Handle h, const void* memory, colorcard_value* out) {
    A_HandleSize size = in_data->utils->host_get_handle_size(h);
    if (size > COLORCARD_BYTES) size = COLORCARD_BYTES;
    std::memset(out, 0, COLORCARD_BYTES);
    std::memcpy(out, memory, static_cast<size_t>(size));
}

bool has_handle(const PF_Handle* h) {
    return h && *h;
}

// A new value handle, or none; `memory` is its locked memory.
PF_Handle new_value(PF_InData* in_data, void** memory) {
    *memory = nullptr;
    PF_Handle h = in_data->utils->host_new_handle(COLORCARD_BYTES);
    if (!h) return nullptr;
    *memory = in_data->utils->host_lock_handle(h);
    if (!*memory) {
        // Nothing is handed back on failure, so nothing is left for the host to dispose of.
        in_data->utils->host_dispose_handle(h);
        return nullptr;
    }
    std::memset(*memory, 0, COLORCARD_BYTES);
    return h;
}

}  // namespace

uint32_t HTONF(float value) {
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    return std::endian::native == std::endian::little ? __builtin_bswap32(bits) : bits;
}

float NTOHF(uint32_t value) {
    const uint32_t bits =
        std::endian::native == std::endian::little ? __builtin_bswap32(value) : value;
    return std::bit_cast<float>(bits);
}

const reference_card* colorcard_chart(const card* c) {
    for (int t = 0; t < REFCARD_TYPE_COUNT; ++t) {
        const reference_card* r = refcard(static_cast<refcard_type>(t));
        if (r && c->ref == r) return r;
    }
    return nullptr;
}

uint32_t encode_data(uint8_t* buffer, const transfer_function* tf, const color_space* cs,
                     const card* c) {
    std::memset(buffer, 0, COLORCARD_CODE_BYTES);
    const reference_card* chart = colorcard_chart(c);
    put(buffer, W_VERSION, 1.0f);
    put(buffer, W_KIND, static_cast<float>(tf->kind));
    // A card without a known chart encodes as type -1, which no reader accepts.
    put(buffer, W_CHART, static_cast<float>(chart ? chart->type : -1));
    // Flags are bytes; any non-zero byte counts as set.
    const uint32_t flags = bit(c->reference) | bit(tf->i) << 1 | bit(tf->h) << 2 | bit(tf->g) << 3;
    put(buffer, W_FLAGS, static_cast<float>(flags));
    put(buffer, W_ISO, static_cast<float>(tf->iso));
    const float transfer[8] = {tf->a, tf->b, tf->c, tf->d, tf->e, tf->f, tf->black, tf->white};
    for (int k = 0; k < 8; ++k) put(buffer, W_TRANSFER + k, transfer[k]);
    const double space[8] = {cs->red_x,  cs->red_y,  cs->green_x, cs->green_y,
                             cs->blue_x, cs->blue_y, cs->white_x, cs->white_y};
    for (int k = 0; k < 8; ++k) put(buffer, W_SPACE + k, static_cast<float>(space[k]));
    const int patches = chart ? chart->patch_count : 0;
    for (int k = 0; k < patches && k < CARD_MAX_PATCHES; ++k)
        for (int ch = 0; ch < 3; ++ch) put(buffer, W_PATCHES + 3 * k + ch, c->display[ch][k]);
    const uint32_t sum = checksum(buffer);
    std::memcpy(buffer, &sum, 4);
    return sum;
}

int decode_data(transfer_function* tf_out, color_space* cs_out, card* c_out,
                const uint8_t* buffer) {
    if (raw_word(buffer, W_CHECKSUM) != checksum(buffer)) return -2;
    if (get(buffer, W_VERSION) != 1.0f) return -1;

    int32_t kind, chart, flags, iso;
    if (!integer_part(get(buffer, W_KIND), &kind) || !integer_part(get(buffer, W_CHART), &chart) ||
        !integer_part(get(buffer, W_FLAGS), &flags) || !integer_part(get(buffer, W_ISO), &iso))
        return -1;
    // The checksum is no protection against a forged file: the chart type is checked before
    // anything looks it up.
    if (chart < 0 || chart >= REFCARD_TYPE_COUNT) return -1;

    transfer_function tf{};
    tf.kind = kind;
    tf.iso = iso;
    tf.g = static_cast<uint8_t>((flags >> 3) & 1);
    tf.h = static_cast<uint8_t>((flags >> 2) & 1);
    tf.i = static_cast<uint8_t>((flags >> 1) & 1);
    float* transfer[8] = {&tf.a, &tf.b, &tf.c, &tf.d, &tf.e, &tf.f, &tf.black, &tf.white};
    for (int k = 0; k < 8; ++k) *transfer[k] = get(buffer, W_TRANSFER + k);

    color_space cs{};
    double* space[8] = {&cs.red_x,  &cs.red_y,  &cs.green_x, &cs.green_y,
                        &cs.blue_x, &cs.blue_y, &cs.white_x, &cs.white_y};
    for (int k = 0; k < 8; ++k) *space[k] = static_cast<double>(get(buffer, W_SPACE + k));

    // Built aside and copied out only when complete, so a refusal leaves the outputs alone.
    card c;
    std::memset(&c, 0, sizeof c);
    cardMakeRef(&c, &cs, static_cast<refcard_type>(chart));
    if (!c.ref) return -1;
    if ((flags & 1) == 0) {
        c.reference = 0;
        c.display_valid = 1;
        for (int k = 0; k < CARD_MAX_PATCHES; ++k)
            for (int ch = 0; ch < 3; ++ch) c.display[ch][k] = get(buffer, W_PATCHES + 3 * k + ch);
        cardUpdateLinearFromDisplay(&c, &tf);
    }
    *tf_out = tf;
    *cs_out = cs;
    std::memcpy(c_out, &c, sizeof c);
    return 1;
}

// ---------------------------------------------------------------------------

PF_Err CG_Create(PF_InData* in_data, PF_OutData*, PF_Handle* handle, const color_space* cs,
                 refcard_type type) {
    void* memory;
    PF_Handle h = new_value(in_data, &memory);
    if (!h) return PF_Err_OUT_OF_MEMORY;
    cardMakeRef(static_cast<card*>(memory), cs, type);
    in_data->utils->host_unlock_handle(h);
    *handle = h;
    return PF_Err_NONE;
}

PF_Err CG_Copy(PF_InData* in_data, PF_OutData*, const PF_Handle* source, PF_Handle* destination) {
    if (!has_handle(source)) return PF_Err_OUT_OF_MEMORY;
    void* to;
    PF_Handle h = new_value(in_data, &to);
    if (!h) return PF_Err_OUT_OF_MEMORY;
    const void* from = lock(in_data, *source);
    if (!from) {
        in_data->utils->host_unlock_handle(h);
        in_data->utils->host_dispose_handle(h);
        return PF_Err_OUT_OF_MEMORY;
    }
    colorcard_value v;
    read_value(in_data, *source, from, &v);
    std::memcpy(to, &v, COLORCARD_BYTES);
    unlock(in_data, *source, from);
    in_data->utils->host_unlock_handle(h);
    *destination = h;
    return PF_Err_NONE;
}

PF_Err CG_Interpolate(PF_InData* in_data, PF_OutData*, double fraction, const PF_Handle* left,
                      const PF_Handle* right, PF_Handle* result) {
    if (!has_handle(left) || !has_handle(right)) return PF_Err_OUT_OF_MEMORY;
    void* to;
    PF_Handle h = new_value(in_data, &to);
    if (!h) return PF_Err_OUT_OF_MEMORY;
    const void* l = lock(in_data, *left);
    const void* r = lock(in_data, *right);
    if (!l || !r) {
        unlock(in_data, *left, l);
        unlock(in_data, *right, r);
        in_data->utils->host_unlock_handle(h);
        in_data->utils->host_dispose_handle(h);
        return PF_Err_OUT_OF_MEMORY;
    }
    colorcard_value lv, rv;
    read_value(in_data, *left, l, &lv);
    read_value(in_data, *right, r, &rv);
    unlock(in_data, *left, l);
    unlock(in_data, *right, r);

    const card* lc = &lv.c;
    const card* rc = &rv.c;
    auto* out = static_cast<card*>(to);
    out->ref = lc->ref;
    out->reference = 0;
    out->display_valid = 0;
    const float t = static_cast<float>(fraction);
    for (int ch = 0; ch < 3; ++ch)
        for (int k = 0; k < CARD_MAX_PATCHES; ++k)
            out->linear[ch][k] = lc->linear[ch][k] * (1.0f - t) + rc->linear[ch][k] * t;
    in_data->utils->host_unlock_handle(h);
    *result = h;
    return PF_Err_NONE;
}

PF_Err CG_Compare(PF_InData* in_data, PF_OutData*, const PF_Handle* a, const PF_Handle* b,
                  PF_ArbCompareResult* result) {
    const void* am = has_handle(a) ? lock(in_data, *a) : nullptr;
    const void* bm = has_handle(b) ? lock(in_data, *b) : nullptr;
    if (!am || !bm) {
        if (am) unlock(in_data, *a, am);
        if (bm) unlock(in_data, *b, bm);
        return PF_Err_OUT_OF_MEMORY;
    }
    colorcard_value av, bv;
    read_value(in_data, *a, am, &av);
    read_value(in_data, *b, bm, &bv);
    unlock(in_data, *a, am);
    unlock(in_data, *b, bm);
    const int order = std::memcmp(&av, &bv, COLORCARD_BYTES);  // unsigned bytes
    *result = order == 0  ? PF_ArbCompare_EQUAL
              : order < 0 ? PF_ArbCompare_LESS
                          : PF_ArbCompare_MORE;
    return PF_Err_NONE;
}

PF_Err CG_Print(PF_InData* in_data, PF_OutData*, A_long print_flags, PF_Handle handle,
                A_u_long buffer_size, char* buffer) {
    if (!handle) return PF_Err_NONE;
    const void* memory = lock(in_data, handle);
    if (!memory) return PF_Err_UNRECOGNIZED_PARAM_TYPE;
    colorcard_value value;
    read_value(in_data, handle, memory, &value);
    unlock(in_data, handle, memory);
    if (!buffer) return PF_Err_NONE;

    PF_Err err = PF_Err_NONE;
    if (print_flags == 0 && buffer_size >= COLORCARD_PRINT_BYTES) {
        const card* c = &value.c;
        size_t length = 0;
        buffer[0] = '\0';
        auto append = [&](const char* piece) {
            const size_t n = std::strlen(piece);
            if (err != PF_Err_NONE || length + n >= buffer_size) {
                err = PF_Err_OUT_OF_MEMORY;
                return;
            }
            std::memcpy(buffer + length, piece, n + 1);
            length += n;
        };
        append("ColorCard\t");
        // The stored chart address is only believed when it names a built-in chart.
        const reference_card* chart = colorcard_chart(c);
        const int patches = chart ? chart->patch_count : 0;
        auto* host_sprintf = in_data->utils->ansi.sprintf;
        for (int k = 0; k < patches && err == PF_Err_NONE; ++k) {
            // Wide enough for three floats printed in full ("%f" of 3.4e38 is 46 characters).
            char piece[256];
            const double r = c->linear[0][k], g = c->linear[1][k], b = c->linear[2][k];
            if (host_sprintf)
                host_sprintf(piece, "%1.5f,%1.5f,%1.5f\t", r, g, b);
            else
                std::snprintf(piece, sizeof piece, "%1.5f,%1.5f,%1.5f\t", r, g, b);
            append(piece);
        }
    } else if (buffer_size != 0) {
        buffer[0] = '\0';
    }
    return err;
}
