#include "cards/card.h"

#include <algorithm>

#include "colour/convert.h"
#include "pipeline/evaluate.h"
#include "pipeline/slots.h"

namespace {

// One direction of a transfer function as coefficient slots ('i' decodes, 'o' encodes).
// A missing transfer function leaves values as they are.
struct curve {
    float coeffs[COEFFICIENT_COUNT];
    bool active;
};

curve make_curve(const transfer_function* tf, char side) {
    curve c{};
    if (tf) {
        set_coefficents_for_transfer_function(c.coeffs, side, tf);
        c.active = true;
    }
    return c;
}

void encode(const curve& c, float* values, int count) {
    if (c.active) apply_output_transfer(c.coeffs, values, count);
}

void decode(const curve& c, float* values, int count) {
    if (c.active) apply_input_transfer(c.coeffs, values, count);
}

void display_from_linear(card* c, const transfer_function* tf) {
    const int n = c->ref->patch_count;
    const curve out = make_curve(tf, 'o');
    for (int k = 0; k < 3; ++k) {
        std::copy_n(c->linear[k], n, c->display[k]);
        encode(out, c->display[k], n);
    }
}

}  // namespace

void cardMakeRef(card* c, const color_space* cs, refcard_type type) {
    c->ref = refcard(type);
    c->reference = 1;
    c->display_valid = 0;
    if (!c->ref) return;
    for (int i = 0; i < c->ref->patch_count; ++i) {
        double rgb[3];
        linearRGB_from_CIELabD50(rgb, c->ref->patches[i].lab, cs);
        for (int k = 0; k < 3; ++k)
            c->linear[k][i] = std::clamp(static_cast<float>(rgb[k]), 0.0f, 1.0f);
    }
}

void cardUpdateDisplayFromLinear(card* c, const transfer_function* tf) {
    display_from_linear(c, tf);
}

void cardUpdateLinearFromDisplay(card* c, const transfer_function* tf) {
    const int n = c->ref->patch_count;
    const curve in = make_curve(tf, 'i');
    for (int k = 0; k < 3; ++k) {
        std::copy_n(c->display[k], n, c->linear[k]);
        decode(in, c->linear[k], n);
    }
}

void cardGetPatch(const card* c, const transfer_function* tf, int index, float* r, float* g,
                  float* b) {
    float value[3];
    if (c->display_valid) {
        for (int k = 0; k < 3; ++k) value[k] = c->display[k][index];
    } else {
        const curve out = make_curve(tf, 'o');
        for (int k = 0; k < 3; ++k) {
            value[k] = c->linear[k][index];
            encode(out, &value[k], 1);
        }
    }
    *r = value[0];
    *g = value[1];
    *b = value[2];
}

void cardSetPatch(card* c, const transfer_function* tf, int index, float r, float g, float b) {
    if (!c->display_valid) {
        // Every other patch keeps showing what it showed before the edit.
        display_from_linear(c, tf);
        c->reference = 0;
        c->display_valid = 1;
    }
    const float value[3] = {r, g, b};
    const curve in = make_curve(tf, 'i');
    for (int k = 0; k < 3; ++k) {
        c->display[k][index] = value[k];
        c->linear[k][index] = value[k];
        decode(in, &c->linear[k][index], 1);
    }
}
