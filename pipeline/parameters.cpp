#include "pipeline/parameters.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>

#include "colour/fit.h"
#include "pipeline/slots.h"

void parameters_clear(parameters* p) {
    std::memset(static_cast<void*>(p), 0, sizeof(parameters));
}

void parameters_defaults(parameters* p) {
    parameters_clear(p);
    int item = transfer_as_popup(2);
    if (item < 1) item = 1;
    p->input_transfer = TRANSFER_FUNCTION[item];
    p->input_space = COLOR_SPACE[item];
    p->output_transfer = TRANSFER_FUNCTION[item];
    p->output_space = COLOR_SPACE[item];
    cardMakeRef(&p->source, &p->input_space, XRITE_COLORCHECKER_24_AFTER_NOV2014);
    cardMakeRef(&p->target, &p->output_space, XRITE_COLORCHECKER_24_AFTER_NOV2014);
    p->mode = CORRECTION_DELTAE;
    p->white_balance = true;
    p->preserve_lightness = true;
    p->exposure = 0.0f;
    p->grays = 0.5f;
    p->contrast = 0.0f;
    p->whites = 0.0f;
    p->blacks = 0.0f;
    p->saturation = 100.0f;
    p->highlight_protection = true;
}

void set_coefficents(float* coeffs, const parameters* p) {
    for (int k = 0; k < COEFFICIENT_COUNT; ++k) coeffs[k] = 0.0f;
    set_coefficents_for_transfer_function(coeffs, 'i', &p->input_transfer);
    set_coefficents_for_transfer_function(coeffs, 'o', &p->output_transfer);
    set_coefficents_for_correction(coeffs, p);
    coeffs[GAMMA] = -1.0f / std::log2(p->grays);
    coeffs[AB_SCALE] = p->saturation / 100.0f;
    coeffs[CONTRAST] = p->contrast;
    coeffs[BLACKS] = p->blacks;
    coeffs[WHITES] = p->whites;
    if (!p->highlight_protection) coeffs[WV] = 0.0f;
    if (p->mode == CORRECTION_IDENTITY) coeffs[WV] = 0.0f;
}

// ---- memo ---------------------------------------------------------------------------
//
// A render thread asks for the coefficients of every frame, and most frames of a clip
// share their parameters, while a fit on the perceptual route costs milliseconds. A few
// recent results are kept, most recent first, compared byte for byte with the record
// (which is zero-filled for exactly that). The fit itself runs outside the lock, so
// threads with different parameters do not wait for each other.

namespace {

constexpr int MEMO_SIZE = 4;

struct memo_entry {
    parameters key;
    float coeffs[COEFFICIENT_COUNT];
};

struct memo_state {
    std::mutex lock;
    std::unique_ptr<memo_entry> entries[MEMO_SIZE];  // most recent first
    long hits = 0;
    long misses = 0;
};

memo_state& memo() {
    static memo_state state;
    return state;
}

bool same(const parameters& a, const parameters* b) {
    return std::memcmp(&a, b, sizeof(parameters)) == 0;
}

}  // namespace

void set_coefficents_memo(float* coeffs, const parameters* p) {
    memo_state& m = memo();
    {
        std::lock_guard<std::mutex> guard(m.lock);
        for (int k = 0; k < MEMO_SIZE && m.entries[k]; ++k) {
            if (!same(m.entries[k]->key, p)) continue;
            std::memcpy(coeffs, m.entries[k]->coeffs, sizeof(m.entries[k]->coeffs));
            // Move to the front so that alternating parameter sets both stay.
            for (int j = k; j > 0; --j) std::swap(m.entries[j], m.entries[j - 1]);
            ++m.hits;
            return;
        }
    }
    auto fresh = std::make_unique<memo_entry>();
    std::memcpy(static_cast<void*>(&fresh->key), p, sizeof(parameters));
    set_coefficents(fresh->coeffs, p);
    std::memcpy(coeffs, fresh->coeffs, sizeof(fresh->coeffs));
    std::lock_guard<std::mutex> guard(m.lock);
    ++m.misses;
    for (int k = 0; k < MEMO_SIZE && m.entries[k]; ++k)
        if (same(m.entries[k]->key, p)) return;  // another thread got there first
    for (int j = MEMO_SIZE - 1; j > 0; --j) m.entries[j] = std::move(m.entries[j - 1]);
    m.entries[0] = std::move(fresh);
}

void coefficient_memo_clear() {
    memo_state& m = memo();
    std::lock_guard<std::mutex> guard(m.lock);
    for (auto& e : m.entries) e.reset();
    m.hits = 0;
    m.misses = 0;
}

coefficient_memo_stats coefficient_memo_counts() {
    memo_state& m = memo();
    std::lock_guard<std::mutex> guard(m.lock);
    return {m.hits, m.misses};
}
