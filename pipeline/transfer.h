// Transfer functions (curves) and colour spaces: the catalogue behind the
// "Transfer Function / Color Space" popups and the builder of the curve slots.
#pragma once

#include <cstdint>
#include <string>

struct transfer_function {
    int32_t kind;            // curve identifier; 0 and unknown identifiers are linear
    int32_t iso;             // exposure index, read only by kinds 10 and 11
    float a, b, c, d, e, f;  // carried for the host layer; never read here
    uint8_t g, h, i;         // flags carried likewise
    float black;             // code value of black, 0-1
    float white;             // code value of white, 0-1
};

// CIE 1931 chromaticities of the primaries and the white point.
struct color_space {
    double red_x, red_y, green_x, green_y, blue_x, blue_y, white_x, white_y;
};

constexpr int TRANSFER_SPACE_COUNT = 50;
// Entry 0 is all zero; entry k is the preset of popup item k (1-50).
extern const transfer_function TRANSFER_FUNCTION[TRANSFER_SPACE_COUNT + 1];
extern const color_space COLOR_SPACE[TRANSFER_SPACE_COUNT + 1];
// The 50 item names joined by "|"; separators read "(-".
extern const char* const TRANSFER_SPACES_STR;

constexpr int ISO_COUNT = 19;
extern const double ISO[ISO_COUNT + 1];  // ISO[0] = -1, then 50 ... 3200
extern const char* const ISO_STR;

// Side 'i' writes slots 0-13 (input levels and decoding curve); any other side writes
// slots 14-27 and WV (encoding curve, output levels, highlight level).
void set_coefficents_for_transfer_function(float* coeffs, char side, const transfer_function* tf);

// Popup item (1-50) whose preset has this transfer kind, or -1.
int transfer_as_popup(int kind);
int transfer_as_popup(float kind);
// Popup item (1-19) of an exposure index, or -1.
int iso_as_popup(int iso);
int iso_as_popup(float iso);

// Text of popup item k (1-50) of TRANSFER_SPACES_STR; empty out of range.
std::string transfer_popup_name(int item);
