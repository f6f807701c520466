// The effect's custom UI through the events a host sends, in both host flavours: every
// button, patch selection and "Patch" editing, level handles, the frame request and its
// lapse, the drawn controls and overlay, and UI events while render threads run.
#include "host/custom_ui.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "host/bitmap.h"
#include "pipeline/lut.h"
#include "pipeline/parameters.h"
#include "pipeline/slots.h"
#include "tests/support/host_support.h"
#include "tests/support/ui_support.h"

namespace {

int64_t fake_now = 0;
int64_t fake_clock() {
    return fake_now;
}

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

class CustomUI : public ::testing::TestWithParam<host_flavour> {
  protected:
    void SetUp() override {
        host = headless_host_new(linked_ui_plugin(), GetParam());
        synth_demo_shot(480, 270, 2, XRITE_COLORCHECKER_24_AFTER_NOV2014, &shot);
        PF_Err err = 0;
        inst = headless_instance_new(host, 480, 270, &err);
        ASSERT_EQ(err, PF_Err_NONE);
        shot_world(shot, GetParam(), &layer);
        inst->layer = &layer;
    }
    void TearDown() override {
        headless_instance_delete(inst);
        headless_host_delete(host);
    }
    bool ae() const { return GetParam() == FLAVOUR_AE; }
    // "Find card in frame" as a user does it: the click, and in the editing host the next
    // event after the frame was rendered.
    void find_card(int control = P_SOURCE) {
        ASSERT_EQ(click_button(inst, control, b_find), PF_Err_NONE);
        if (!ae()) {
            ASSERT_EQ(headless_click(inst, P_EXPORT, 200, 20), PF_Err_NONE);
        }
    }
    double corner(int k, bool y) {
        const PF_ParamDef& p = inst->params[P_CORNER_TL + k];
        return (y ? p.u.td.y_value : p.u.td.x_value) / 65536.0;
    }
    headless_host* host = nullptr;
    headless_instance* inst = nullptr;
    synth_shot shot;
    headless_world layer;
};

TEST_P(CustomUI, FindReadAndReferenceButtons) {
    auto before = stored_card(inst, P_SOURCE);
    EXPECT_EQ(before->reference, 1);
    // The compositing host renders the layer for the effect during the click; the editing
    // host renders the frame the effect asked for, and the next event completes the find.
    find_card();
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(corner(k, false), shot.corners[k].x, 3.0) << k;
        EXPECT_NEAR(corner(k, true), shot.corners[k].y, 3.0) << k;
    }
    auto found = stored_card(inst, P_SOURCE);
    EXPECT_EQ(found->reference, 0);
    EXPECT_NE(std::memcmp(found->linear, before->linear, sizeof(found->linear)), 0);
    // The request is complete: nothing is pending any more.
    EXPECT_EQ(global.request_tick, -1);

    // "Ref" puts the chart's reference colours back.
    ASSERT_EQ(click_button(inst, P_SOURCE, b_ref), PF_Err_NONE);
    auto reset = stored_card(inst, P_SOURCE);
    EXPECT_EQ(reset->reference, 1);
    EXPECT_EQ(std::memcmp(reset->linear, before->linear, sizeof(reset->linear)), 0);

    // "Read from frame" samples at the corners where they are now.
    ASSERT_EQ(click_button(inst, P_SOURCE, b_read), PF_Err_NONE);
    if (!ae()) {
        ASSERT_EQ(headless_click(inst, P_EXPORT, 200, 20), PF_Err_NONE);
    }
    auto read = stored_card(inst, P_SOURCE);
    EXPECT_EQ(read->reference, 0);
    EXPECT_EQ(std::memcmp(read->linear, found->linear, sizeof(read->linear)), 0);
    EXPECT_EQ(host->suites_outstanding, 0);
}

TEST_P(CustomUI, FindInAnEmptyFrameChangesNothing) {
    std::fill(shot.pixels.begin(), shot.pixels.end(), 0.5f);
    shot_world(shot, GetParam(), &layer);
    double x0 = corner(0, false);
    auto before = stored_card(inst, P_SOURCE);
    find_card();
    EXPECT_EQ(corner(0, false), x0);
    auto after = stored_card(inst, P_SOURCE);
    EXPECT_EQ(std::memcmp(after->linear, before->linear, sizeof(after->linear)), 0);
}

TEST_P(CustomUI, SaveThenLoadGivesTheSameCard) {
    scratch_dir dir;
    find_card();
    std::vector<uint8_t> saved;
    ASSERT_EQ(headless_flatten(inst, P_SOURCE, &saved), PF_Err_NONE);
    // A cancelled save writes nothing.
    ASSERT_EQ(click_button(inst, P_SOURCE, b_save), PF_Err_NONE);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path));
    headless_window_answer(&host->window, dir.file("card.bmp"));
    ASSERT_EQ(click_button(inst, P_SOURCE, b_save), PF_Err_NONE);
    ASSERT_TRUE(std::filesystem::exists(dir.file("card.bmp")));
    ASSERT_EQ(click_button(inst, P_SOURCE, b_ref), PF_Err_NONE);
    std::vector<uint8_t> reset;
    ASSERT_EQ(headless_flatten(inst, P_SOURCE, &reset), PF_Err_NONE);
    // A cancelled load changes nothing either.
    ASSERT_EQ(click_button(inst, P_SOURCE, b_load), PF_Err_NONE);
    std::vector<uint8_t> unchanged;
    ASSERT_EQ(headless_flatten(inst, P_SOURCE, &unchanged), PF_Err_NONE);
    EXPECT_EQ(unchanged, reset);
    headless_window_answer(&host->window, dir.file("card.bmp"));
    ASSERT_EQ(click_button(inst, P_SOURCE, b_load), PF_Err_NONE);
    std::vector<uint8_t> loaded;
    ASSERT_EQ(headless_flatten(inst, P_SOURCE, &loaded), PF_Err_NONE);
    EXPECT_EQ(loaded, saved);
    EXPECT_TRUE(inst->messages.empty());

    // A file that is not a ColorCard is refused with the host's message, the card kept.
    {
        std::ofstream f(dir.file("bad.bmp"), std::ios::binary);
        f << "BM not a bitmap";
    }
    headless_window_answer(&host->window, dir.file("bad.bmp"));
    ASSERT_EQ(click_button(inst, P_SOURCE, b_load), PF_Err_NONE);
    ASSERT_EQ(inst->messages.size(), 1u);
    EXPECT_EQ(inst->messages[0], "ColorCard file is corrupt");
    ASSERT_EQ(headless_flatten(inst, P_SOURCE, &unchanged), PF_Err_NONE);
    EXPECT_EQ(unchanged, saved);
}

TEST_P(CustomUI, LevelsButtonsAndHandles) {
    for (int control : {16, 71}) {
        ASSERT_EQ(click_button(inst, control, b_legal), PF_Err_NONE);
        EXPECT_FLOAT_EQ(static_cast<float>(headless_value(inst, control + 1)), 16.0f / 255.0f);
        EXPECT_FLOAT_EQ(static_cast<float>(headless_value(inst, control + 2)), 235.0f / 255.0f);
        ASSERT_EQ(click_button(inst, control, b_full), PF_Err_NONE);
        EXPECT_EQ(headless_value(inst, control + 1), 0.0);
        EXPECT_EQ(headless_value(inst, control + 2), 1.0);
        // The black handle sits at the ramp's left end: pick it up and drag it.
        int width = inst->params[control].ui_width;
        ASSERT_EQ(headless_click(inst, control, 82, 12), PF_Err_NONE);
        EXPECT_EQ(inst->drag_refcon[0], control + 1);
        int x = 81 + (width - 86) / 4;
        ASSERT_EQ(headless_drag(inst, control, x, 12), PF_Err_NONE);
        ASSERT_EQ(headless_drag(inst, control, x, 12, true), PF_Err_NONE);
        EXPECT_NEAR(headless_value(inst, control + 1), (x - 81.0) / (width - 86), 1e-6);
        EXPECT_EQ(headless_value(inst, control + 2), 1.0);
        // A click away from both handles picks none; the drag then changes nothing.
        ASSERT_EQ(headless_click(inst, control, 81 + (width - 86) / 2, 12), PF_Err_NONE);
        EXPECT_EQ(inst->drag_refcon[0], 0);
        ASSERT_EQ(headless_drag(inst, control, 90, 12, true), PF_Err_NONE);
        EXPECT_NEAR(headless_value(inst, control + 1), (x - 81.0) / (width - 86), 1e-6);
    }
}

TEST_P(CustomUI, ExportLutWritesTheCubeOfTheCurrentSettings) {
    scratch_dir dir;
    ASSERT_EQ(click_button(inst, P_EXPORT, b_export), PF_Err_NONE);  // cancelled
    EXPECT_TRUE(std::filesystem::is_empty(dir.path));
    headless_window_answer(&host->window, dir.file("a.cube"));
    ASSERT_EQ(click_button(inst, P_EXPORT, b_export), PF_Err_NONE);
    ASSERT_EQ(host->window.requests.back().title, "Export LUT (48 way)");
    // The defaults are the record's defaults, so the cube is theirs.
    auto p = std::make_unique<parameters>();
    parameters_defaults(p.get());
    float coeffs[COEFFICIENT_COUNT];
    set_coefficents(coeffs, p.get());
    std::vector<float> lut(48 * 48 * 48 * 4);
    LUT_generate(coeffs, lut.data(), 48);
    ASSERT_TRUE(LUT_write_cube_file(dir.file("b.cube"), lut.data(), 48));
    EXPECT_EQ(read_file(dir.file("a.cube")), read_file(dir.file("b.cube")));
    // Modifier-clicks step the size and write nothing; four of them come back to 48.
    const int sizes[4] = {32, 24, 16, 48};
    for (int size : sizes) {
        ASSERT_EQ(click_button(inst, P_EXPORT, b_export, PF_Mod_SHIFT_KEY), PF_Err_NONE);
        EXPECT_EQ(ui_export_size(), size);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path),
                            std::filesystem::directory_iterator()),
              2);
}

TEST_P(CustomUI, PatchClickThenPatchColourWritesThatPatch) {
    auto c = stored_card(inst, P_SOURCE);
    const reference_card* chart = c->ref;
    ASSERT_NE(chart, nullptr);
    const int patch = 7;
    const float* r = chart->patches[patch].rect;
    float s = chart->ui_scale;
    int x = static_cast<int>((r[0] + r[1]) / 2 * s), y = static_cast<int>((r[2] + r[3]) / 2 * s);
    ASSERT_EQ(headless_click(inst, P_SOURCE, x, y), PF_Err_NONE);
    EXPECT_EQ(std::string(inst->params[P_PATCH].name),
              std::string("Source : ") + chart->patches[patch].name);
    transfer_function tf = *default_transfer_function();
    float pr, pg, pb;
    cardGetPatch(c.get(), &tf, patch, &pr, &pg, &pb);
    EXPECT_NEAR(inst->params[P_PATCH].u.cd.value.red / 255.0, pr, 1.0 / 255);
    // The effect's own write of "Patch" did not change the card.
    auto same = stored_card(inst, P_SOURCE);
    EXPECT_EQ(std::memcmp(same->linear, c->linear, sizeof(c->linear)), 0);
    ASSERT_EQ(headless_user_set_color(inst, P_PATCH, 0.2f, 0.4f, 0.6f), PF_Err_NONE);
    auto edited = stored_card(inst, P_SOURCE);
    float er, eg, eb;
    cardGetPatch(edited.get(), &tf, patch, &er, &eg, &eb);
    EXPECT_NEAR(er, 0.2, 1.0 / 255);
    EXPECT_NEAR(eg, 0.4, 1.0 / 255);
    EXPECT_NEAR(eb, 0.6, 1.0 / 255);
    cardGetPatch(edited.get(), &tf, patch + 1, &er, &eg, &eb);
    cardGetPatch(c.get(), &tf, patch + 1, &pr, &pg, &pb);
    EXPECT_EQ(er, pr);
    // A click on a button that lies over no patch clears the selection and the name.
    ASSERT_EQ(click_button(inst, P_SOURCE, b_ref), PF_Err_NONE);
    EXPECT_EQ(std::string(inst->params[P_PATCH].name), "Patch");
}

TEST_P(CustomUI, UpdateUiButtonRepairsPopups) {
    ASSERT_EQ(headless_command(inst, PF_Cmd_UPDATE_PARAMS_UI, nullptr), PF_Err_NONE);
    EXPECT_TRUE(inst->params[P_UPDATE_UI].ui_flags & PF_PUI_INVISIBLE);
    // A popup that disagrees with its hidden store (a reordered list) shows the button.
    headless_store(inst, P_INPUT_TRANSFER, headless_value(inst, P_INPUT_TRANSFER) + 1);
    ASSERT_EQ(headless_command(inst, PF_Cmd_UPDATE_PARAMS_UI, nullptr), PF_Err_NONE);
    EXPECT_FALSE(inst->params[P_UPDATE_UI].ui_flags & PF_PUI_INVISIBLE);
    ASSERT_EQ(click_button(inst, P_UPDATE_UI, b_fix_ui), PF_Err_NONE);
    ASSERT_EQ(headless_command(inst, PF_Cmd_UPDATE_PARAMS_UI, nullptr), PF_Err_NONE);
    EXPECT_TRUE(inst->params[P_UPDATE_UI].ui_flags & PF_PUI_INVISIBLE);
    EXPECT_EQ(headless_value(inst, P_INPUT_TRANSFER),
              transfer_as_popup(static_cast<int>(headless_value(inst, P_INPUT_KIND))));
}

TEST_P(CustomUI, CursorAndClickCodes) {
    PF_CursorType cursor = PF_Cursor_ARROW;
    ASSERT_EQ(headless_adjust_cursor(inst, P_SOURCE, 10, 10, &cursor), PF_Err_NONE);
    EXPECT_EQ(cursor, PF_Cursor_NONE);
    // Right edge excluded, top edge included.
    EXPECT_FALSE(button_hit(&b_find, b_find.x + b_find.width, b_find.y + 1));
    EXPECT_TRUE(button_hit(&b_find, b_find.x, b_find.y));
    EXPECT_FALSE(button_hit(&b_find, b_find.x, b_find.y + 18));
}

// ---------------------------------------------------------------------------
// Pictures

const uint8_t* pixel(const headless_canvas& c, int x, int y) {
    return &c.rgba[(static_cast<size_t>(y) * static_cast<size_t>(c.width) +
                    static_cast<size_t>(x)) *
                   4];
}
int byte_of(float v) {
    return static_cast<int>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
}
// The panel's colours as the effect derives them from the host's background.
float base_grey(bool ae) {
    return ae ? 10280.0f / 65535.0f : 0.34901f;
}

TEST_P(CustomUI, SwatchShowsTheCardsDisplayValuesAndItsButtons) {
    find_card();
    headless_canvas pic;
    ASSERT_EQ(headless_draw_control(inst, P_SOURCE, &pic), PF_Err_NONE);
    ASSERT_EQ(pic.width, inst->params[P_SOURCE].ui_width);
    ASSERT_EQ(pic.height, inst->params[P_SOURCE].ui_height);
    auto c = stored_card(inst, P_SOURCE);
    transfer_function tf = *default_transfer_function();
    cardUpdateDisplayFromLinear(c.get(), &tf);
    const reference_card* chart = c->ref;
    for (int k = 0; k < chart->patch_count; ++k) {
        const float* r = chart->patches[k].rect;
        float s = chart->ui_scale;
        int x = static_cast<int>(3.5f + s * (r[0] + r[1]) / 2);
        int y = static_cast<int>(3.5f + s * (r[2] + r[3]) / 2);
        const uint8_t* p = pixel(pic, x, y);
        for (int ch = 0; ch < 3; ++ch) EXPECT_NEAR(p[ch], byte_of(c->display[ch][k]), 1) << k;
    }
    // Every button: its face inside the frame line, and a label in the line colour (the
    // "Ref" label in the highlight colour once it holds reference colours).
    float r = base_grey(ae());
    int face = byte_of(r >= 0.5f ? 0.675f * r + 0.211f : 0.882f * r + 0.069f);
    int line = byte_of(r >= 0.5f ? 0.368f * r + 0.004f : 0.353f * r + 0.637f);
    for (const button* b : {&b_find, &b_read, &b_load, &b_save, &b_ref}) {
        const uint8_t* p =
            pixel(pic, static_cast<int>(b->x + b->width - 3), static_cast<int>(b->y + 3));
        EXPECT_NEAR(p[0], face, 1) << b->label;
        int label = 0;
        for (int y = static_cast<int>(b->y) + 3; y < static_cast<int>(b->y) + 16; ++y)
            for (int x = static_cast<int>(b->x) + 3; x < static_cast<int>(b->x + b->width) - 2; ++x)
                if (std::abs(pixel(pic, x, y)[1] - line) < 30) ++label;
        EXPECT_GT(label, 10) << b->label;
    }
    ASSERT_EQ(click_button(inst, P_SOURCE, b_ref), PF_Err_NONE);
    ASSERT_EQ(headless_draw_control(inst, P_SOURCE, &pic), PF_Err_NONE);
    int highlighted = 0;
    for (int y = static_cast<int>(b_ref.y) + 3; y < static_cast<int>(b_ref.y) + 16; ++y)
        for (int x = static_cast<int>(b_ref.x) + 3; x < static_cast<int>(b_ref.x + b_ref.width) - 2;
             ++x)
            if (pixel(pic, x, y)[0] > pixel(pic, x, y)[2] + 60) ++highlighted;
    EXPECT_GT(highlighted, 10);
    EXPECT_EQ(drawing_live_objects(), 0);
    EXPECT_EQ(host->suites_outstanding, 0);
}

TEST_P(CustomUI, LevelsPanelShowsRampAndHandles) {
    ASSERT_EQ(click_button(inst, 16, b_legal), PF_Err_NONE);
    headless_canvas pic;
    ASSERT_EQ(headless_draw_control(inst, 16, &pic), PF_Err_NONE);
    float x0 = 81, x1 = static_cast<float>(pic.width) - 5;
    // The ramp runs from black to white along the control.
    EXPECT_LT(pixel(pic, 83, 9)[0], 8);
    EXPECT_GT(pixel(pic, static_cast<int>(x1) - 2, 9)[0], 245);
    int mid = static_cast<int>(x0 + (x1 - x0) / 2);
    EXPECT_NEAR(pixel(pic, mid, 9)[0], 128, 5);
    // The handles hang below the ramp at the levels: black at 16/255, white at 235/255.
    int black_x = static_cast<int>(x0 + (x1 - x0) * 16.0f / 255.0f);
    int white_x = static_cast<int>(x0 + (x1 - x0) * 235.0f / 255.0f);
    EXPECT_LT(pixel(pic, black_x, 14)[0], 40);
    EXPECT_GT(pixel(pic, white_x, 14)[0], 215);
}

TEST_P(CustomUI, OverlayOutlinesTheCardThroughItsCorners) {
    const double corners[4][2] = {{100, 60}, {380, 80}, {370, 230}, {90, 210}};
    for (int k = 0; k < 4; ++k)
        ASSERT_EQ(headless_user_set_point(inst, P_CORNER_TL + k, corners[k][0], corners[k][1]),
                  PF_Err_NONE);
    inst->layer_offset_x = 20;
    inst->layer_offset_y = 10;
    inst->view_zoom = 1.5;
    headless_canvas bg;
    bg.width = 800;
    bg.height = 480;
    bg.rgba.assign(static_cast<size_t>(bg.width * bg.height) * 4, 0);
    for (size_t k = 3; k < bg.rgba.size(); k += 4) bg.rgba[k] = 255;
    headless_canvas pic;
    ASSERT_EQ(headless_draw_overlay(inst, PF_Window_COMP, bg, &pic), PF_Err_NONE);
    card_corners cc{};
    for (int k = 0; k < 4; ++k) {
        cc.x[k] = static_cast<float>(corners[k][0]);
        cc.y[k] = static_cast<float>(corners[k][1]);
    }
    card_interpolate_init(&cc);
    // Every vertex of every outline piece, mapped like the corners, is drawn within a pixel.
    const reference_card* chart = refcard(XRITE_COLORCHECKER_24_AFTER_NOV2014);
    int checked = 0;
    for (int k = 0; k < chart->patch_count; ++k) {
        for (const float* o = chart->patches[k].outline; o[0] != -1.0f; o += 2) {
            if (o[0] == -2.0f) continue;
            float x = 0, y = 0;
            card_interpolate_xy(&x, &y, &cc, o[0], o[1]);
            double wx = (x + 20) * 1.5, wy = (y + 10) * 1.5;
            int lit = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const uint8_t* p = pixel(pic, static_cast<int>(std::lround(wx)) + dx,
                                             static_cast<int>(std::lround(wy)) + dy);
                    lit += p[0] + p[1] + p[2] > 60;
                }
            EXPECT_GT(lit, 0) << k;
            ++checked;
        }
    }
    EXPECT_GT(checked, 20);
    // Away from the card the frame is untouched.
    EXPECT_EQ(pixel(pic, 5, 5)[0], 0);
    EXPECT_EQ(pixel(pic, 790, 470)[1], 0);
    // The layer window shows the layer itself: no offset into the composition.
    ASSERT_EQ(headless_draw_overlay(inst, PF_Window_LAYER, bg, &pic), PF_Err_NONE);
    float x = 0, y = 0;
    const float* o = chart->patches[0].outline;
    card_interpolate_xy(&x, &y, &cc, o[0], o[1]);
    int lit = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const uint8_t* p = pixel(pic, static_cast<int>(std::lround(x * 1.5)) + dx,
                                     static_cast<int>(std::lround(y * 1.5)) + dy);
            lit += p[0] + p[1] + p[2] > 60;
        }
    EXPECT_GT(lit, 0);
}

// A few whole pictures against references kept for the eye, with a tolerance for the
// font rasteriser.
TEST_P(CustomUI, PicturesMatchTheReferences) {
    if (!ae()) GTEST_SKIP() << "the references are of the compositing host's panel";
    find_card();
    for (auto [control, name] : {std::pair{40, "source"}, std::pair{16, "input-levels"},
                                 std::pair{20, "input-cie-xy"}, std::pair{48, "curve"}}) {
        headless_canvas pic, ref;
        ASSERT_EQ(headless_draw_control(inst, control, &pic), PF_Err_NONE);
        std::string path = std::string(CHROMALANE_SOURCE_DIR) + "/tests/data/ui/" + name + ".png";
        if (std::getenv("CHROMALANE_UPDATE_REFERENCES")) canvas_write_png(pic, path);
        ASSERT_TRUE(canvas_read_png(path, &ref)) << path;
        ASSERT_EQ(ref.width, pic.width);
        ASSERT_EQ(ref.height, pic.height);
        size_t off = 0;
        for (size_t k = 0; k < pic.rgba.size(); ++k)
            off += std::abs(pic.rgba[k] - ref.rgba[k]) > 40;
        EXPECT_LT(off, pic.rgba.size() / 50) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(BothHosts, CustomUI, ::testing::Values(FLAVOUR_AE, FLAVOUR_PREMIERE),
                         host_name);

// ---------------------------------------------------------------------------
// The frame request of the editing host

class FrameRequest : public ::testing::Test {
  protected:
    void SetUp() override {
        host = headless_host_new(linked_ui_plugin(), FLAVOUR_PREMIERE);
        synth_demo_shot(480, 270, 2, XRITE_COLORCHECKER_24_AFTER_NOV2014, &shot);
        PF_Err err = 0;
        a = headless_instance_new(host, 480, 270, &err);
        b = headless_instance_new(host, 480, 270, &err);
        shot_world(shot, FLAVOUR_PREMIERE, &layer);
        world_init(&out, layer.format, 480, 270);
        entry_set_clock(fake_clock);
        fake_now = 5000000000;
    }
    void TearDown() override {
        entry_set_clock(nullptr);
        headless_instance_delete(a);
        headless_instance_delete(b);
        headless_host_delete(host);
    }
    headless_host* host = nullptr;
    headless_instance *a = nullptr, *b = nullptr;
    synth_shot shot;
    headless_world layer, out;
};

TEST_F(FrameRequest, ServedOnTheNextEventAfterTheRender) {
    // No layer frame: the host does not render by itself here, the test does.
    ASSERT_EQ(click_button(a, P_SOURCE, b_find), PF_Err_NONE);
    EXPECT_EQ(static_cast<int>(headless_value(a, P_HIDDEN)) % 2, 1);  // a frame is awaited
    // Another instance's render does not serve the request.
    ASSERT_EQ(headless_render(b, &layer, &out), PF_Err_NONE);
    ASSERT_EQ(headless_click(a, P_EXPORT, 200, 20), PF_Err_NONE);
    EXPECT_EQ(stored_card(a, P_SOURCE)->reference, 1);
    fake_now += 14000000;
    ASSERT_EQ(headless_render(a, &layer, &out), PF_Err_NONE);
    EXPECT_EQ(stored_card(a, P_SOURCE)->reference, 1);  // only an event completes it
    ASSERT_EQ(headless_click(a, P_EXPORT, 200, 20), PF_Err_NONE);
    EXPECT_EQ(stored_card(a, P_SOURCE)->reference, 0);
    EXPECT_EQ(stored_card(b, P_SOURCE)->reference, 1);
}

TEST_F(FrameRequest, DroppedAfterFifteenSeconds) {
    ASSERT_EQ(click_button(a, P_SOURCE, b_find), PF_Err_NONE);
    fake_now += 15000001;
    ASSERT_EQ(headless_render(a, &layer, &out), PF_Err_NONE);
    EXPECT_EQ(global.request_tick, -1);
    ASSERT_EQ(headless_click(a, P_EXPORT, 200, 20), PF_Err_NONE);
    EXPECT_EQ(stored_card(a, P_SOURCE)->reference, 1);
}

// UI events on one thread while render threads run (meant for the thread sanitizer).
TEST_F(FrameRequest, EventsWhileRenderThreadsRun) {
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&, t] {
            headless_world o;
            world_init(&o, layer.format, 480, 270);
            while (!stop) headless_render(t % 2 ? a : b, &layer, &o);
        });
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(click_button(a, P_SOURCE, b_find), PF_Err_NONE);
        EXPECT_EQ(click_button(a, 16, b_legal), PF_Err_NONE);
        headless_canvas c;
        EXPECT_EQ(headless_draw_control(a, P_SOURCE, &c), PF_Err_NONE);
        EXPECT_EQ(headless_click(a, P_EXPORT, 200, 20), PF_Err_NONE);
    }
    stop = true;
    for (auto& t : threads) t.join();
}

}  // namespace
