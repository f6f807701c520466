// The effect driven through its plug-in file, as each host drives it: global and parameter
// setup, arbitrary data, rendering in every world format against the render driver called
// directly, and many render threads at once.
#include "host/entry.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#include "headless/dlfcn_windows.h"
#else
#include <dlfcn.h>
#endif

#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "headless/host.h"
#include "headless/memory.h"
#include "host/colorcard.h"
#include "host/custom_ui.h"
#include "host/param_table.h"
#include "host/params.h"
#include "pipeline/render.h"
#include "tests/support/plugin_support.h"

namespace {

class EffectInHost : public ::testing::TestWithParam<host_flavour> {
  protected:
    void SetUp() override {
        plugin = loaded_plugin();
        ASSERT_NE(plugin, nullptr);
        host = headless_host_new(plugin, GetParam());
        PF_Err err = 0;
        inst = headless_instance_new(host, 64, 48, &err);
        ASSERT_EQ(err, PF_Err_NONE);
    }
    void TearDown() override {
        headless_instance_delete(inst);
        headless_host_delete(host);
    }
    bool ae() const { return GetParam() == FLAVOUR_AE; }
    headless_plugin* plugin = nullptr;
    headless_host* host = nullptr;
    headless_instance* inst = nullptr;
};

TEST_P(EffectInHost, GlobalAndParameterSetup) {
    EXPECT_EQ(host->global_error, PF_Err_NONE);
    EXPECT_EQ(static_cast<uint32_t>(host->global_out.out_flags), 0x02008421u);
    EXPECT_EQ(static_cast<uint32_t>(host->global_out.out_flags2), 0x08001488u);
    EXPECT_EQ(host->global_out.my_version, EFFECT_VERSION);
    if (ae()) {
        EXPECT_EQ(host->registered_name, "Chromalane Color Corrector");
        EXPECT_TRUE(host->pixel_formats.empty());
    } else {
        EXPECT_EQ(host->registered_name, "");
        ASSERT_EQ(host->pixel_formats.size(), 2u);
        EXPECT_EQ(host->pixel_formats[0], PrPixelFormat_BGRA_4444_32f);
        EXPECT_EQ(host->pixel_formats[1], PrPixelFormat_BGRA_4444_8u);
    }
    EXPECT_EQ(host->suites_outstanding, 0);
    EXPECT_EQ(inst->num_params, 88);
    EXPECT_TRUE(inst->ui_registered);
    EXPECT_EQ(inst->ui.events, 7);
    // Corner defaults are percent of the layer, turned into pixels by the host.
    EXPECT_EQ(inst->params[33].u.td.x_value, 16 * 65536);
    EXPECT_EQ(inst->params[35].u.td.y_value, 36 * 65536);
    for (int index : {40, 41}) {
        ASSERT_NE(inst->params[index].u.arb_d.value, nullptr);
        EXPECT_EQ(headless_get_handle_size(inst->params[index].u.arb_d.value), COLORCARD_BYTES);
    }
    // The about text comes back through the host's sprintf.
    PF_OutData out{};
    EXPECT_EQ(headless_command(inst, PF_Cmd_ABOUT, nullptr, &out), PF_Err_NONE);
    EXPECT_NE(std::strlen(out.return_msg), 0u);
    // Commands the effect ignores answer no error.
    EXPECT_EQ(headless_command(inst, PF_Cmd_FRAME_SETUP, nullptr), PF_Err_NONE);
    EXPECT_EQ(headless_command(inst, PF_Cmd_NUM_CMDS, nullptr), PF_Err_NONE);
    EXPECT_EQ(host->suites_outstanding, 0);
}

TEST_P(EffectInHost, ArbitraryDataCallbacks) {
    // Only the two ColorCard parameters have arbitrary data.
    for (int id : {39, 42, 0, 87}) {
        PF_ArbParamsExtra extra{};
        extra.id = id;
        extra.which_function = PF_Arbitrary_FLAT_SIZE_FUNC;
        A_u_long size = 0;
        extra.u.flat_size_func_params.flat_data_sizePLu = &size;
        EXPECT_EQ(headless_arbitrary(inst, &extra), PF_Err_UNRECOGNIZED_PARAM_TYPE) << id;
    }
    for (int id : {40, 41}) {
        std::vector<uint8_t> flat;
        ASSERT_EQ(headless_flatten(inst, id, &flat), PF_Err_NONE);
        ASSERT_EQ(flat.size(), COLORCARD_BYTES);
        for (int k = 0; k < 8; ++k) EXPECT_EQ(flat[static_cast<size_t>(k)], 0) << k;
        auto c = std::make_unique<card>();
        std::memcpy(static_cast<void*>(c.get()), flat.data(), sizeof(card));
        EXPECT_EQ(c->reference, 1);

        // The shortest accepted flat value lacks only the padding; one byte less is refused.
        std::vector<uint8_t> short_flat(flat.begin(), flat.begin() + COLORCARD_FLAT_MIN_BYTES);
        short_flat[100] ^= 0x40;
        ASSERT_EQ(headless_unflatten(inst, id, short_flat), PF_Err_NONE);
        PF_Handle h = inst->params[id].u.arb_d.value;
        ASSERT_EQ(headless_get_handle_size(h), COLORCARD_BYTES);
        auto* bytes = static_cast<uint8_t*>(headless_lock_handle(h));
        EXPECT_EQ(bytes[100], short_flat[100]);
        for (A_HandleSize k = COLORCARD_FLAT_MIN_BYTES; k < COLORCARD_BYTES; ++k)
            EXPECT_EQ(bytes[k], 0) << k;
        headless_unlock_handle(h);
        short_flat.pop_back();
        EXPECT_EQ(headless_unflatten(inst, id, short_flat), PF_Err_INTERNAL_STRUCT_DAMAGED);

        // A flatten buffer below the shortest flat size is refused too.
        std::vector<uint8_t> small(COLORCARD_FLAT_MIN_BYTES - 1, 0xAA);
        PF_ArbParamsExtra extra{};
        extra.id = id;
        extra.which_function = PF_Arbitrary_FLATTEN_FUNC;
        extra.u.flatten_func_params.arbH = h;
        extra.u.flatten_func_params.buf_sizeLu = static_cast<A_u_long>(small.size());
        extra.u.flatten_func_params.flat_dataPV = small.data();
        EXPECT_EQ(headless_arbitrary(inst, &extra), PF_Err_INTERNAL_STRUCT_DAMAGED);

        // New, copy, compare, print, dispose as a host calls them.
        PF_Handle made = nullptr;
        extra = PF_ArbParamsExtra{};
        extra.id = id;
        extra.which_function = PF_Arbitrary_NEW_FUNC;
        extra.u.new_func_params.arbPH = &made;
        ASSERT_EQ(headless_arbitrary(inst, &extra), PF_Err_NONE);
        ASSERT_NE(made, nullptr);
        PF_Handle copy = nullptr;
        extra = PF_ArbParamsExtra{};
        extra.id = id;
        extra.which_function = PF_Arbitrary_COPY_FUNC;
        extra.u.copy_func_params.src_arbH = made;
        extra.u.copy_func_params.dst_arbPH = &copy;
        ASSERT_EQ(headless_arbitrary(inst, &extra), PF_Err_NONE);
        PF_ArbCompareResult result = PF_ArbCompare_NOT_EQUAL;
        extra = PF_ArbParamsExtra{};
        extra.id = id;
        extra.which_function = PF_Arbitrary_COMPARE_FUNC;
        extra.u.compare_func_params.a_arbH = made;
        extra.u.compare_func_params.b_arbH = copy;
        extra.u.compare_func_params.compareP = &result;
        ASSERT_EQ(headless_arbitrary(inst, &extra), PF_Err_NONE);
        EXPECT_EQ(result, PF_ArbCompare_EQUAL);
        // Interpolating at 0 gives the left card's linear values as a sampled card.
        PF_Handle mixed = nullptr;
        extra = PF_ArbParamsExtra{};
        extra.id = id;
        extra.which_function = PF_Arbitrary_INTERP_FUNC;
        extra.u.interp_func_params.left_arbH = made;
        extra.u.interp_func_params.right_arbH = h;
        extra.u.interp_func_params.tF = 0.0;
        extra.u.interp_func_params.interpPH = &mixed;
        ASSERT_EQ(headless_arbitrary(inst, &extra), PF_Err_NONE);
        ASSERT_NE(mixed, nullptr);
        {
            auto* l = static_cast<const card*>(headless_lock_handle(made));
            auto* m = static_cast<const card*>(headless_lock_handle(mixed));
            EXPECT_EQ(std::memcmp(l->linear, m->linear, sizeof(m->linear)), 0);
            EXPECT_EQ(m->reference, 0);
            EXPECT_EQ(m->display_valid, 0);
            headless_unlock_handle(made);
            headless_unlock_handle(mixed);
        }
        std::vector<char> text(65536, 'x');
        extra = PF_ArbParamsExtra{};
        extra.id = id;
        extra.which_function = PF_Arbitrary_PRINT_FUNC;
        extra.u.print_func_params.arbH = mixed;
        extra.u.print_func_params.print_sizeLu = static_cast<A_u_long>(text.size());
        extra.u.print_func_params.print_bufferPC = text.data();
        ASSERT_EQ(headless_arbitrary(inst, &extra), PF_Err_NONE);
        EXPECT_EQ(std::string(text.data()).rfind("ColorCard\t", 0), 0u);
        extra.which_function = PF_Arbitrary_DISPOSE_FUNC;
        extra.u.dispose_func_params.arbH = mixed;
        EXPECT_EQ(headless_arbitrary(inst, &extra), PF_Err_NONE);
        A_u_long print_size = 0;
        extra = PF_ArbParamsExtra{};
        extra.id = id;
        extra.which_function = PF_Arbitrary_PRINT_SIZE_FUNC;
        extra.u.print_size_func_params.print_sizePLu = &print_size;
        ASSERT_EQ(headless_arbitrary(inst, &extra), PF_Err_NONE);
        EXPECT_EQ(print_size, 65536u);
        for (PF_Handle d : {made, copy}) {
            extra = PF_ArbParamsExtra{};
            extra.id = id;
            extra.which_function = PF_Arbitrary_DISPOSE_FUNC;
            extra.u.dispose_func_params.arbH = d;
            EXPECT_EQ(headless_arbitrary(inst, &extra), PF_Err_NONE);
        }
        extra = PF_ArbParamsExtra{};
        extra.id = id;
        extra.which_function = PF_Arbitrary_SCAN_FUNC;
        EXPECT_EQ(headless_arbitrary(inst, &extra), PF_Err_NONE);
    }
    EXPECT_EQ(host->suites_outstanding, 0);
}

TEST_P(EffectInHost, ZeroSizeInputLeavesOutputAlone) {
    world_format f = ae() ? WORLD_ARGB32F : WORLD_BGRA32F;
    for (auto [w, h] : {std::pair{0, 0}, std::pair{0, 5}, std::pair{5, 0}}) {
        headless_world in, out;
        world_init(&in, f, w, h);
        world_init(&out, f, 4, 4);
        std::memset(out.memory.data(), 0x5A, out.memory.size());
        for (bool smart : {true, false}) {
            EXPECT_EQ(headless_render(inst, &in, &out, smart), PF_Err_NONE);
            for (char b : out.memory) ASSERT_EQ(static_cast<uint8_t>(b), 0x5A);
        }
    }
}

imageFormat image_format_of(world_format f) {
    switch (f) {
        case WORLD_ARGB8:
            return IMAGE_ARGB8;
        case WORLD_ARGB16:
            return IMAGE_ARGB15;
        case WORLD_ARGB32F:
            return IMAGE_ARGB32F;
        case WORLD_BGRA8:
            return IMAGE_BGRA8;
        case WORLD_BGRA32F:
            return IMAGE_BGRA32F;
    }
    return IMAGE_ARGB8;
}

// The render driver called directly on the same pixels, with the record the effect's
// settings stand for.
void render_directly(const headless_world& in, headless_world* out, const parameters* p) {
    out->memory = in.memory;
    auto wrap = [](const headless_world& w, image* img) {
        std::memset(static_cast<void*>(img), 0, sizeof(*img));
        img->flag1 = img->flag2 = 1;
        img->format = image_format_of(w.format);
        img->right = w.def.width;
        img->bottom = w.def.height;
        img->scale_x = img->scale_y = img->pixel_aspect = 1.0;
        img->row_bytes = w.def.rowbytes;
        img->pixels = static_cast<char*>(w.def.data);
    };
    image a, b;
    wrap(in, &a);
    wrap(*out, &b);
    b.pixels = out->memory.data();
    OfxRectI area{0, 0, in.def.width, in.def.height};
    render(&a, &b, &area, nullptr, p, nullptr, nullptr);
}

TEST_P(EffectInHost, RenderEqualsRenderCalledDirectly) {
    // Settings a user makes: another input entry, a mode, exposure and saturation.
    const int entry = 8;  // DCI-P3 D65
    ASSERT_EQ(headless_user_set(inst, 3, entry), PF_Err_NONE);
    ASSERT_EQ(headless_user_set(inst, 43, 2), PF_Err_NONE);
    ASSERT_EQ(headless_user_set(inst, 49, 0.75), PF_Err_NONE);
    ASSERT_EQ(headless_user_set(inst, 54, 120), PF_Err_NONE);
    // The hidden stores followed the popup.
    EXPECT_EQ(headless_value(inst, 4), TRANSFER_FUNCTION[entry].kind);
    EXPECT_FLOAT_EQ(static_cast<float>(headless_value(inst, 21)),
                    static_cast<float>(COLOR_SPACE[entry].red_x));

    auto p = std::make_unique<parameters>();
    parameters_defaults(p.get());
    p->input_transfer = TRANSFER_FUNCTION[entry];
    const color_space& cs = COLOR_SPACE[entry];
    double narrowed[8] = {cs.red_x,  cs.red_y,  cs.green_x, cs.green_y,
                          cs.blue_x, cs.blue_y, cs.white_x, cs.white_y};
    for (double& v : narrowed) v = static_cast<float>(v);
    std::memcpy(&p->input_space, narrowed, sizeof(narrowed));
    cardMakeRef(&p->source, &p->input_space, default_card_type());
    p->mode = 2;
    p->exposure = 0.75f;
    p->saturation = 120.0f;

    std::vector<world_format> formats =
        ae() ? std::vector<world_format>{WORLD_ARGB8, WORLD_ARGB16, WORLD_ARGB32F}
             : std::vector<world_format>{WORLD_BGRA8, WORLD_BGRA32F};
    for (world_format f : formats) {
        SCOPED_TRACE(static_cast<int>(f));
        headless_world in, out, direct;
        world_init(&in, f, 37, 11);  // an odd width: ragged row ends
        world_init(&out, f, 37, 11);
        world_init(&direct, f, 37, 11);
        fill_world(&in, 17);
        for (bool smart : {true, false}) {
            // Whatever the host's buffer held before: every pixel must be rendered.
            std::fill(out.memory.begin(), out.memory.end(), 0x5A);
            ASSERT_EQ(headless_render(inst, &in, &out, smart), PF_Err_NONE);
            render_directly(in, &direct, p.get());
            ASSERT_EQ(world_pixels(out), world_pixels(direct)) << (smart ? "smart" : "classic");
        }
    }
    EXPECT_EQ(host->suites_outstanding, 0);
}

// The render writes the output straight from the input, with no copy of the input first;
// when a setting cannot be read and nothing is rendered, the output still holds the input
// rather than whatever the host's buffer held before.
TEST_P(EffectInHost, OutputHoldsTheInputWhenNothingIsRendered) {
    if (ae()) GTEST_SKIP() << "the compositing host's settings are read from its streams";
    const world_format f = WORLD_BGRA32F;
    headless_world in, out;
    world_init(&in, f, 9, 5);
    world_init(&out, f, 9, 5);
    fill_world(&in, 3);
    const PF_ParamType kept = inst->params[P_BLACKS].param_type;
    inst->params[P_BLACKS].param_type = PF_Param_POINT;  // a slider the effect cannot read
    for (bool smart : {true, false}) {
        std::memset(out.memory.data(), 0x5A, out.memory.size());
        EXPECT_NE(headless_render(inst, &in, &out, smart), PF_Err_NONE);
        EXPECT_EQ(world_pixels(out), world_pixels(in)) << (smart ? "smart" : "classic");
    }
    inst->params[P_BLACKS].param_type = kept;
}

TEST_P(EffectInHost, RenderThreadsOnOneAndSeveralInstances) {
    PF_Err err = 0;
    headless_instance* other = headless_instance_new(host, 64, 48, &err);
    ASSERT_EQ(err, PF_Err_NONE);
    ASSERT_EQ(headless_user_set(other, 49, -1.0), PF_Err_NONE);
    world_format f = ae() ? WORLD_ARGB32F : WORLD_BGRA32F;
    headless_world in;
    world_init(&in, f, 64, 48);
    fill_world(&in, 5);
    headless_world expected[2];
    for (int k = 0; k < 2; ++k) {
        world_init(&expected[k], f, 64, 48);
        ASSERT_EQ(headless_render(k ? other : inst, &in, &expected[k]), PF_Err_NONE);
    }
    std::vector<std::thread> threads;
    std::vector<int> failures(6, 0);
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&, t] {
            headless_instance* target = t % 2 ? other : inst;
            headless_world out;
            world_init(&out, f, 64, 48);
            for (int round = 0; round < 4; ++round) {
                if (headless_render(target, &in, &out, round % 2 == 0) != PF_Err_NONE ||
                    out.memory != expected[t % 2].memory)
                    ++failures[static_cast<size_t>(t)];
            }
        });
    for (auto& t : threads) t.join();
    for (int n : failures) EXPECT_EQ(n, 0);
    headless_instance_delete(other);
}

// A chart type no control could set (a damaged preset, a host that does not clamp its hidden
// slider) is no chart: the frame renders uncorrected, and the number is never converted to an
// int out of range (UBSan in the asan preset watches that).
TEST_P(EffectInHost, StoredChartTypeOutsideTheCatalogueIsNoChart) {
    const world_format f = ae() ? WORLD_ARGB32F : WORLD_BGRA32F;
    headless_world in, out;
    world_init(&in, f, 64, 48);
    world_init(&out, f, 64, 48);
    fill_world(&in, 3);
    for (double bad : {1e10, -1e10, static_cast<double>(NAN), 99.0, -1.0}) {
        headless_store(inst, P_CARD_TYPE, bad);
        EXPECT_EQ(headless_render(inst, &in, &out, true), PF_Err_NONE) << bad;
        std::vector<uint8_t> card;
        EXPECT_EQ(headless_flatten(inst, P_SOURCE, &card), PF_Err_NONE) << bad;
    }
}

// Eight render threads over three instances, 500 frames in all, while another thread
// changes parameters, reads and stores the cards, clicks the custom controls and renders with
// the memo; every render succeeds. Under the tsan preset this is the thread-safety check (it runs
// in CI).
TEST_P(EffectInHost, ThreadStressEightRenderThreadsWithChanges) {
    constexpr int INSTANCES = 3, THREADS = 8, FRAMES = 500;
    std::vector<headless_instance*> insts = {inst};
    for (int k = 1; k < INSTANCES; ++k) {
        PF_Err err = 0;
        insts.push_back(headless_instance_new(host, 64, 48, &err));
        ASSERT_EQ(err, PF_Err_NONE);
    }
    const world_format f = ae() ? WORLD_ARGB32F : WORLD_BGRA32F;
    headless_world in;
    world_init(&in, f, 64, 48);
    fill_world(&in, 9);
    for (headless_instance* i : insts) i->layer = &in;
    std::atomic<int> next{0}, failures{0};
    std::atomic<bool> done{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t)
        threads.emplace_back([&, t] {
            headless_world out;
            world_init(&out, f, 64, 48);
            for (int frame = next++; frame < FRAMES; frame = next++)
                if (headless_render(insts[static_cast<size_t>((frame + t) % INSTANCES)], &in, &out,
                                    frame % 2 == 0) != PF_Err_NONE)
                    ++failures;
        });
    std::thread changes([&] {
        for (int round = 0; !done; ++round) {
            headless_instance* target = insts[static_cast<size_t>(round % INSTANCES)];
            if (headless_user_set(target, 49, (round % 7) * 0.25 - 0.75) != PF_Err_NONE ||
                headless_user_set(target, 54, 50.0 + round % 100) != PF_Err_NONE ||
                headless_user_set(target, 43, 1 + round % 5) != PF_Err_NONE)
                ++failures;
            std::vector<uint8_t> card;
            if (headless_flatten(target, 40, &card) != PF_Err_NONE ||
                headless_unflatten(target, 40, card) != PF_Err_NONE)
                ++failures;
            // UI events in the mix: a levels button, the cursor over the card, and "Find card
            // in frame", whose frame request renders the layer (completed by the next event
            // in the editing host).
            const button& levels = round % 2 ? b_legal : b_full;
            PF_CursorType cursor = PF_Cursor_NONE;
            auto middle = [](const button& b) { return static_cast<int>(b.x + b.width / 2); };
            auto row = [](const button& b) { return static_cast<int>(b.y) + 9; };
            if (headless_click(target, 16, middle(levels), row(levels)) != PF_Err_NONE ||
                headless_adjust_cursor(target, 40, 20, 20, &cursor) != PF_Err_NONE ||
                headless_click(target, 40, middle(b_find), row(b_find)) != PF_Err_NONE ||
                headless_click(target, P_EXPORT, 200, 20) != PF_Err_NONE)
                ++failures;
        }
    });
    for (auto& t : threads) t.join();
    done = true;
    changes.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_GE(next.load(), FRAMES);
    for (headless_instance* i : insts) i->layer = nullptr;  // `in` ends with the test
    for (size_t k = 1; k < insts.size(); ++k) headless_instance_delete(insts[k]);
}

std::string flavour_name(const ::testing::TestParamInfo<host_flavour>& p) {
    return p.param == FLAVOUR_AE ? "compositing" : "editing";
}

INSTANTIATE_TEST_SUITE_P(BothHosts, EffectInHost, ::testing::Values(FLAVOUR_AE, FLAVOUR_PREMIERE),
                         flavour_name);

TEST(PluginFile, ExportsOnlyTheEntryPointAndCarriesItsRegistration) {
    registration_record r{};
    ASSERT_TRUE(headless_read_registration(CHROMALANE_PLUGIN_PATH, &r));
    EXPECT_EQ(r.count, 12u);
    const uint32_t keys[12] = {fourcc("kind"), fourcc("name"), fourcc("catg"), fourcc("8664"),
                               fourcc("ePVR"), fourcc("eSVR"), fourcc("eVER"), fourcc("eINF"),
                               fourcc("eGLO"), fourcc("eGL2"), fourcc("eMNA"), fourcc("aeRD")};
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(r.properties[k].key, keys[k]) << k;
        EXPECT_EQ(r.properties[k].vendor, fourcc("8BIM")) << k;
    }
    auto text = [&](const char(&key)[5]) {
        return std::string(reinterpret_cast<const char*>(registration_find(&r, fourcc(key))->data));
    };
    auto word = [&](const char(&key)[5]) {
        uint32_t v;
        std::memcpy(&v, registration_find(&r, fourcc(key))->data, 4);
        return v;
    };
    EXPECT_EQ(text("eMNA"), "Chromalane Color Corrector III");
    EXPECT_EQ(text("name"), "Chromalane Color Corrector III");
    EXPECT_EQ(text("catg"), "Color Correction");
    EXPECT_EQ(text("8664"), "EntryPointFunc");
    EXPECT_EQ(word("eGLO"), 0x02008421u);
    EXPECT_EQ(word("eGL2"), 0x08001488u);
    EXPECT_EQ(word("eVER"), EFFECT_VERSION);
    // Versions as major << 16 | minor, in the processor's byte order.
    EXPECT_EQ(word("ePVR"), 0x00020000u);
    EXPECT_EQ(word("eSVR"), (13u << 16) | 27u);
    EXPECT_EQ(word("eINF"), 0u);
    EXPECT_EQ(text("kind").substr(0, 4), "eFKT");
    // Global setup answers with the same version and flags as the record.
    EXPECT_EQ(std::memcmp(&r, &REGISTRATION, sizeof(r)), 0);

    // Nothing but the entry points is visible to a host.
    void* lib = loaded_plugin() ? loaded_plugin()->library : nullptr;
    ASSERT_NE(lib, nullptr);
    for (const char* hidden :
         {"SharedRender", "make_sure_initialised", "render", "cardFind", "value_get_all",
          "_Z12SharedRenderP9PF_InDataP10PF_OutDataPP11PF_ParamDefP11PF_LayerDefS6_",
          "_Z13value_get_allP9PF_InDataPP11PF_ParamDefP10parameters"})
        EXPECT_EQ(dlsym(lib, hidden), nullptr) << hidden;
}

}  // namespace
