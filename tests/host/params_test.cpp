// Value access and the frame-cache handshake, with the effect's code linked in so that
// its functions and its process-wide record can be reached directly; the host around it
// is the headless host in either flavour.
#include "host/params.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "headless/host.h"
#include "host/entry.h"
#include "tests/support/plugin_support.h"

namespace {

headless_plugin* linked_plugin() {
    static headless_plugin plugin;
    if (!plugin.entry) {
        headless_attach(&plugin, &EntryPointFunc);
        plugin.registration = REGISTRATION;
        plugin.has_registration = true;
    }
    return &plugin;
}

class ValueAccess : public ::testing::TestWithParam<host_flavour> {
  protected:
    void SetUp() override {
        host = headless_host_new(linked_plugin(), GetParam());
        PF_Err err = 0;
        inst = headless_instance_new(host, 100, 80, &err);
        ASSERT_EQ(err, PF_Err_NONE);
    }
    void TearDown() override {
        headless_instance_delete(inst);
        headless_host_delete(host);
    }
    template <typename F>
    PF_Err with(F f) {
        return headless_with_in_data(
            inst,
            [](PF_InData* in, PF_ParamDef* params[], void* user) -> PF_Err {
                return (*static_cast<F*>(user))(in, params);
            },
            &f);
    }
    headless_host* host = nullptr;
    headless_instance* inst = nullptr;
};

TEST_P(ValueAccess, TransferFunctionStoresRoundTripWithCrosswiseFlags) {
    transfer_function tf = TRANSFER_FUNCTION[13];
    tf.a = 0.25f, tf.b = -3.0f, tf.c = 7.5f, tf.d = 0.125f, tf.e = 1e-3f, tf.f = 42.0f;
    tf.g = 1, tf.h = 0, tf.i = 1;
    tf.black = 0.0625f, tf.white = 0.875f;
    for (int side : {3, 58}) {
        SCOPED_TRACE(side);
        ASSERT_EQ(with([&](PF_InData* in, PF_ParamDef** p) {
                      return value_set_transfer_function(in, p, side, &tf);
                  }),
                  PF_Err_NONE);
        transfer_function back{};
        ASSERT_EQ(with([&](PF_InData* in, PF_ParamDef** p) {
                      return value_get_transfer_function(in, p, side, &back);
                  }),
                  PF_Err_NONE);
        EXPECT_EQ(std::memcmp(&back, &tf, sizeof(tf)), 0);
        int o = side == 3 ? 0 : OUTPUT_OFFSET;
        // The input side keeps its first two flags crosswise, the output side in order.
        EXPECT_EQ(headless_value(inst, 13 + o), side == 3 ? 0 : 1);
        EXPECT_EQ(headless_value(inst, 14 + o), side == 3 ? 1 : 0);
        EXPECT_EQ(headless_value(inst, 15 + o), 1);
        EXPECT_EQ(headless_value(inst, 4 + o), 11);
        EXPECT_EQ(headless_value(inst, 3 + o), 13);                    // the popup follows
        EXPECT_EQ(headless_value(inst, 5 + o), iso_as_popup(tf.iso));  // and the ISO popup
    }
    // A kind with no popup position leaves the popup as it was.
    tf.kind = 999;
    ASSERT_EQ(with([&](PF_InData* in, PF_ParamDef** p) {
                  return value_set_transfer_function(in, p, 3, &tf);
              }),
              PF_Err_NONE);
    EXPECT_EQ(headless_value(inst, 3), 13);
    EXPECT_EQ(host->suites_outstanding, 0);
}

TEST_P(ValueAccess, ColorSpaceSideSelectorAndCardType) {
    color_space cs{0.7, 0.3, 0.2, 0.7, 0.1, 0.05, 0.32, 0.33};
    for (int side : {4, 21, 40}) {
        ASSERT_EQ(with([&](PF_InData* in, PF_ParamDef** p) {
                      return value_set_color_space(in, p, side, &cs);
                  }),
                  PF_Err_NONE);
        EXPECT_FLOAT_EQ(static_cast<float>(headless_value(inst, 21)), 0.7f);
        EXPECT_FLOAT_EQ(static_cast<float>(headless_value(inst, 76)),
                        static_cast<float>(COLOR_SPACE[2].red_x));
    }
    color_space out_cs = cs;
    out_cs.red_x = 0.66;
    for (int side : {41, 59, 76}) {
        ASSERT_EQ(with([&](PF_InData* in, PF_ParamDef** p) {
                      return value_set_color_space(in, p, side, &out_cs);
                  }),
                  PF_Err_NONE);
        EXPECT_FLOAT_EQ(static_cast<float>(headless_value(inst, 76)), 0.66f);
    }

    auto read_card = [&](int index) {
        auto c = std::make_unique<card>();
        EXPECT_EQ(with([&](PF_InData* in, PF_ParamDef** p) {
                      return value_get_card(in, p, index, c.get());
                  }),
                  PF_Err_NONE);
        return c;
    };
    // A sampled card keeps its colours when the chart changes to one with as many patches.
    auto sampled = read_card(40);
    sampled->reference = 0;
    sampled->linear[0][3] = 0.123f;
    ASSERT_EQ(with([&](PF_InData* in, PF_ParamDef** p) {
                  return value_set_card(in, p, 40, sampled.get());
              }),
              PF_Err_NONE);
    ASSERT_EQ(with([&](PF_InData* in, PF_ParamDef** p) {
                  return value_set_card_type(in, p, XRITE_COLORCHECKER_24_BEFORE_NOV2014);
              }),
              PF_Err_NONE);
    EXPECT_EQ(headless_value(inst, 39), 0);
    EXPECT_EQ(headless_value(inst, 38), 5);
    auto kept = read_card(40);
    EXPECT_EQ(kept->linear[0][3], 0.123f);
    EXPECT_EQ(kept->ref, refcard(XRITE_COLORCHECKER_24_BEFORE_NOV2014));
    // Another patch count resets both cards to the new chart's reference colours, each in
    // its side's colour space.
    ASSERT_EQ(with([&](PF_InData* in, PF_ParamDef** p) {
                  return value_set_card_type(in, p, XRITE_COLORCHECKER_SG_AFTER_NOV2014);
              }),
              PF_Err_NONE);
    auto source = read_card(40);
    auto target = read_card(41);
    auto expected = std::make_unique<card>();
    color_space narrowed = cs;
    for (double* v : {&narrowed.red_x, &narrowed.red_y, &narrowed.green_x, &narrowed.green_y,
                      &narrowed.blue_x, &narrowed.blue_y, &narrowed.white_x, &narrowed.white_y})
        *v = static_cast<float>(*v);
    cardMakeRef(expected.get(), &narrowed, XRITE_COLORCHECKER_SG_AFTER_NOV2014);
    EXPECT_EQ(source->reference, 1);
    EXPECT_EQ(std::memcmp(source->linear, expected->linear, sizeof(expected->linear)), 0);
    EXPECT_EQ(target->reference, 1);
    EXPECT_NE(std::memcmp(target->linear, expected->linear, sizeof(expected->linear)), 0);
}

TEST_P(ValueAccess, ValuesOfEachKind) {
    PF_PixelFloat colour{1.0f, 0.5f, 0.25f, 2.0f};
    ASSERT_EQ(
        with([&](PF_InData* in, PF_ParamDef** p) { return value_set_color(in, p, 42, &colour); }),
        PF_Err_NONE);
    EXPECT_EQ(inst->params[42].u.cd.value.red, 127);
    EXPECT_EQ(inst->params[42].u.cd.value.green, 63);
    EXPECT_EQ(inst->params[42].u.cd.value.blue, 255);  // out of range saturates
    PF_PixelFloat back{};
    ASSERT_EQ(
        with([&](PF_InData* in, PF_ParamDef** p) { return value_get_color(in, p, 42, &back); }),
        PF_Err_NONE);
    EXPECT_FLOAT_EQ(back.red, 127.0f / 255.0f);

    bool on = true;
    ASSERT_EQ(
        with([&](PF_InData* in, PF_ParamDef** p) { return value_set_checkbox(in, p, 44, false); }),
        PF_Err_NONE);
    ASSERT_EQ(
        with([&](PF_InData* in, PF_ParamDef** p) { return value_get_checkbox(in, p, 44, &on); }),
        PF_Err_NONE);
    EXPECT_FALSE(on);
    // The double form narrows to float.
    ASSERT_EQ(
        with([&](PF_InData* in, PF_ParamDef** p) { return value_set_slider(in, p, 49, 0.1); }),
        PF_Err_NONE);
    EXPECT_EQ(headless_value(inst, 49), static_cast<double>(0.1f));
    // The hidden fixed-point slider holds its value shifted by 16 bits.
    ASSERT_EQ(
        with([&](PF_InData* in, PF_ParamDef** p) { return value_set_slider(in, p, 87, 37.0); }),
        PF_Err_NONE);
    EXPECT_EQ(inst->params[87].u.fd.value, 37 * 65536);

    // Corners: read as pixels with the downsampling as scale; written into the buffer's
    // coordinates of an image.
    card_location loc{};
    ASSERT_EQ(
        with([&](PF_InData* in, PF_ParamDef** p) { return value_get_card_location(in, p, &loc); }),
        PF_Err_NONE);
    EXPECT_EQ(loc.corners[0].x, 25.0);
    EXPECT_EQ(loc.corners[2].y, 60.0);
    EXPECT_EQ(loc.scale_x, 1.0);
    image img{};
    img.left = 10, img.top = 4;
    img.scale_x = img.scale_y = 1.0;
    loc.corners[1] = OfxPointD{50.25, 7.5};
    ASSERT_EQ(with([&](PF_InData* in, PF_ParamDef** p) {
                  return value_set_card_location(in, p, &img, &loc);
              }),
              PF_Err_NONE);
    EXPECT_EQ(inst->params[34].u.td.x_value, static_cast<PF_Fixed>(40.25 * 65536));
    EXPECT_EQ(inst->params[34].u.td.y_value, static_cast<PF_Fixed>(3.5 * 65536));
}

TEST_P(ValueAccess, EqualValuesFillEqualRecords) {
    PF_Err err = 0;
    headless_instance* twin = headless_instance_new(host, 100, 80, &err);
    ASSERT_EQ(err, PF_Err_NONE);
    for (headless_instance* i : {inst, twin}) {
        ASSERT_EQ(headless_user_set(i, 58, 5), PF_Err_NONE);
        ASSERT_EQ(headless_user_set(i, 50, 0.4), PF_Err_NONE);
    }
    auto a = std::make_unique<parameters>();
    auto b = std::make_unique<parameters>();
    std::memset(static_cast<void*>(a.get()), 0xA5, sizeof(parameters));  // stale bytes
    std::memset(static_cast<void*>(b.get()), 0x5A, sizeof(parameters));
    auto fill = [&](headless_instance* i, parameters* p) {
        return headless_with_in_data(
            i,
            [](PF_InData* in, PF_ParamDef* params[], void* user) {
                return value_get_all(in, params, static_cast<parameters*>(user));
            },
            p);
    };
    ASSERT_EQ(fill(inst, a.get()), PF_Err_NONE);
    ASSERT_EQ(fill(twin, b.get()), PF_Err_NONE);
    EXPECT_EQ(std::memcmp(a.get(), b.get(), sizeof(parameters)), 0);
    EXPECT_EQ(a->output_transfer.kind, TRANSFER_FUNCTION[5].kind);
    EXPECT_EQ(a->grays, 0.4f);
    EXPECT_EQ(a->mode, 5);
    ASSERT_EQ(headless_user_set(twin, 50, 0.41), PF_Err_NONE);
    ASSERT_EQ(fill(twin, b.get()), PF_Err_NONE);
    EXPECT_NE(std::memcmp(a.get(), b.get(), sizeof(parameters)), 0);
    headless_instance_delete(twin);
}

TEST_P(ValueAccess, ChoosingAnEntryUpdatesStoresAndCards) {
    auto before = std::make_unique<card>();
    ASSERT_EQ(with([&](PF_InData* in, PF_ParamDef** p) {
                  return value_get_card(in, p, 40, before.get());
              }),
              PF_Err_NONE);
    ASSERT_EQ(headless_user_set(inst, 3, 4), PF_Err_NONE);  // Rec. 2020
    EXPECT_EQ(headless_value(inst, 4), TRANSFER_FUNCTION[4].kind);
    EXPECT_FLOAT_EQ(static_cast<float>(headless_value(inst, 17)), TRANSFER_FUNCTION[4].black);
    EXPECT_FLOAT_EQ(static_cast<float>(headless_value(inst, 25)),
                    static_cast<float>(COLOR_SPACE[4].blue_x));
    auto after = std::make_unique<card>();
    ASSERT_EQ(with([&](PF_InData* in, PF_ParamDef** p) {
                  return value_get_card(in, p, 40, after.get());
              }),
              PF_Err_NONE);
    // The reference card is rebuilt in the new primaries; the target keeps its own.
    EXPECT_NE(std::memcmp(before->linear, after->linear, sizeof(after->linear)), 0);
    // Positions outside the list change nothing.
    ASSERT_EQ(headless_user_set(inst, 5, 40), PF_Err_NONE);
    EXPECT_EQ(headless_value(inst, 6), TRANSFER_FUNCTION[4].iso);
    ASSERT_EQ(headless_user_set(inst, 5, 13), PF_Err_NONE);
    EXPECT_EQ(headless_value(inst, 6), 800);
}

std::string flavour_name(const ::testing::TestParamInfo<host_flavour>& p) {
    return p.param == FLAVOUR_AE ? "compositing" : "editing";
}

INSTANTIATE_TEST_SUITE_P(BothHosts, ValueAccess, ::testing::Values(FLAVOUR_AE, FLAVOUR_PREMIERE),
                         flavour_name);

// ---------------------------------------------------------------------------
// The frame cache that the custom UI asks the renderer to fill.

int64_t fake_now = 0;
int64_t fake_clock() {
    return fake_now;
}

class FrameCache : public ::testing::Test {
  protected:
    void SetUp() override {
        host = headless_host_new(linked_plugin(), FLAVOUR_PREMIERE);
        PF_Err err = 0;
        inst = headless_instance_new(host, 32, 24, &err);
        ASSERT_EQ(err, PF_Err_NONE);
        entry_set_clock(fake_clock);
        fake_now = 1000000000;
        world_init(&in, WORLD_BGRA32F, 32, 24);
        world_init(&out, WORLD_BGRA32F, 32, 24);
        fill_world(&in, 3);
        forget();
    }
    void TearDown() override {
        forget();
        entry_set_clock(nullptr);
        headless_instance_delete(inst);
        headless_host_delete(host);
    }
    void forget() {
        real_mutex_lock(&global.lock);
        if (global.cache_image.pixels) {
            PF_InData in_data{};
            in_data.utils = &host->utils;
            freeImage(&in_data, &global.cache_image);
        }
        global.request_tick = -1;
        global.cached_tick = -1;
        real_mutex_unlock(&global.lock);
    }
    void request() {
        real_mutex_lock(&global.lock);
        global.request_instance = static_cast<uint32_t>(inst->id);
        global.request_tick = global.cached_tick + 1;
        global.request_frame_time = static_cast<uint32_t>(inst->current_time);
        global.request_time_us = fake_now;
        real_mutex_unlock(&global.lock);
    }
    // A command that asks for a new render (the about dialog does) runs the nudge.
    int nudge() {
        EXPECT_EQ(headless_command(inst, PF_Cmd_DO_DIALOG, nullptr), PF_Err_NONE);
        return static_cast<int>(headless_value(inst, 87));
    }
    headless_host* host = nullptr;
    headless_instance* inst = nullptr;
    headless_world in, out;
};

TEST_F(FrameCache, RequestIsServedByTheNextRender) {
    ASSERT_EQ(headless_render(inst, &in, &out), PF_Err_NONE);
    EXPECT_EQ(global.cache_image.pixels, nullptr);  // nobody asked
    request();
    int counter = nudge();
    EXPECT_EQ(counter % 2, 1);  // a frame is awaited
    ASSERT_EQ(headless_render(inst, &in, &out), PF_Err_NONE);
    ASSERT_NE(global.cache_image.pixels, nullptr);
    EXPECT_EQ(global.cached_tick, global.request_tick);
    EXPECT_EQ(global.cache_image.format, IMAGE_BGRA32F);
    EXPECT_EQ(std::memcmp(global.cache_image.pixels, in.def.data, in.memory.size()), 0);
    EXPECT_EQ(global.cache_location.corners[2].x, 24.0);
    EXPECT_EQ(nudge() % 2, 0);
    // Another instance's render does not serve this instance's request.
    PF_Err err = 0;
    headless_instance* other = headless_instance_new(host, 32, 24, &err);
    request();
    void* cached = global.cache_image.pixels;
    ASSERT_EQ(headless_render(other, &in, &out), PF_Err_NONE);
    EXPECT_LT(global.cached_tick, global.request_tick);
    EXPECT_EQ(global.cache_image.pixels, cached);
    headless_instance_delete(other);
}

TEST_F(FrameCache, CornersAreCachedInTheBufferCoordinatesOfSmartRender) {
    inst->origin_x = 10;  // the buffer starts 10 pixels right and 3 down of the layer
    inst->origin_y = 3;
    request();
    ASSERT_EQ(headless_render(inst, &in, &out), PF_Err_NONE);
    ASSERT_NE(global.cache_image.pixels, nullptr);
    // The top-left corner's default is (25 %, 25 %) of 32 x 24.
    EXPECT_EQ(global.cache_location.corners[0].x, 8.0 - 10.0);
    EXPECT_EQ(global.cache_location.corners[0].y, 6.0 - 3.0);
    EXPECT_EQ(inst->params[33].u.td.x_value, 8 * 65536);  // the stored value is untouched
    // The classic render has no buffer origin.
    forget();
    request();
    ASSERT_EQ(headless_render(inst, &in, &out, false), PF_Err_NONE);
    EXPECT_EQ(global.cache_location.corners[0].x, 8.0);
}

TEST_F(FrameCache, CounterStaysWithinRangeAndIsOddWhileAwaited) {
    int previous = static_cast<int>(headless_value(inst, 87));
    for (int k = 0; k < 160; ++k) {
        bool awaited = k % 3 == 0;
        if (awaited)
            request();
        else
            forget();
        int counter = nudge();
        EXPECT_GE(counter, 1);
        EXPECT_LE(counter, 100);
        EXPECT_EQ(counter % 2 == 1, awaited) << k;
        EXPECT_NE(counter, previous);  // every nudge is a change the host sees
        previous = counter;
    }
}

TEST_F(FrameCache, RequestIsDroppedAfterFifteenSeconds) {
    request();
    fake_now += 15000000;  // not yet
    ASSERT_EQ(headless_render(inst, &in, &out), PF_Err_NONE);
    EXPECT_NE(global.request_tick, -1);
    EXPECT_NE(global.cache_image.pixels, nullptr);
    forget();
    request();
    fake_now += 15000001;
    ASSERT_EQ(headless_render(inst, &in, &out), PF_Err_NONE);
    EXPECT_EQ(global.request_tick, -1);
    EXPECT_EQ(global.cache_image.pixels, nullptr);
    EXPECT_EQ(nudge() % 2, 0);
}

TEST_F(FrameCache, OldEditingHostIgnoresTheFrameTime) {
    EXPECT_EQ(need_to_check_current_time_in_render_cache_frame, 1u);
    request();
    inst->current_time = 5;  // the host renders another time than the one asked for
    ASSERT_EQ(headless_render(inst, &in, &out), PF_Err_NONE);
    EXPECT_EQ(global.cache_image.pixels, nullptr);
    // Before version 11 the editing host's frame times cannot be trusted: any render of
    // the asking instance serves the request.
    headless_host_delete(headless_host_new(linked_plugin(), FLAVOUR_PREMIERE, 10));
    EXPECT_EQ(need_to_check_current_time_in_render_cache_frame, 0u);
    ASSERT_EQ(headless_render(inst, &in, &out), PF_Err_NONE);
    EXPECT_NE(global.cache_image.pixels, nullptr);
    headless_host_delete(headless_host_new(linked_plugin(), FLAVOUR_PREMIERE));
    EXPECT_EQ(need_to_check_current_time_in_render_cache_frame, 1u);
}

}  // namespace
