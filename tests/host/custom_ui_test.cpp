// The effect's custom UI through the events a host sends, in both host flavours: every
// button, patch selection and "Patch" editing, level handles, the frame request and its
// lapse, the drawn controls and overlay, and UI events while render threads run.
#include "host/custom_ui.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
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
