// Parameter names and visibility following the chosen curves and chart, over the whole
// catalogue, in both host flavours.
#include "host/ui_update.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/ui_support.h"

namespace {

class NamesAndVisibility : public ::testing::TestWithParam<host_flavour> {
  protected:
    void SetUp() override {
        host = headless_host_new(linked_ui_plugin(), GetParam());
        PF_Err err = 0;
        inst = headless_instance_new(host, 64, 48, &err);
        ASSERT_EQ(err, PF_Err_NONE);
        ASSERT_EQ(headless_command(inst, PF_Cmd_UPDATE_PARAMS_UI, nullptr), PF_Err_NONE);
    }
    void TearDown() override {
        headless_instance_delete(inst);
        headless_host_delete(host);
    }
    bool visible(int index) {
        bool shown = !(inst->params[index].ui_flags & PF_PUI_INVISIBLE);
        // The compositing host keeps visibility on the parameter's stream as well.
        if (GetParam() == FLAVOUR_AE) {
            EXPECT_EQ(shown, !(inst->dyn_flags[index] & (1 << AEGP_DynStreamFlag_HIDDEN))) << index;
        }
        return shown;
    }
    headless_host* host = nullptr;
    headless_instance* inst = nullptr;
};

TEST_P(NamesAndVisibility, TransferParametersForEveryEntry) {
    for (int offset : {0, OUTPUT_OFFSET}) {
        for (int p = 1; p <= TRANSFER_SPACE_COUNT; ++p) {
            ASSERT_EQ(headless_user_set(inst, P_INPUT_TRANSFER + offset, p), PF_Err_NONE);
            int kind = TRANSFER_FUNCTION[p].kind;
            bool exposure_index = kind == 10 || kind == 11;
            EXPECT_EQ(visible(5 + offset), exposure_index) << p;
            if (exposure_index) {
                EXPECT_STREQ(inst->params[5 + offset].name, "EI") << p;
            }
            for (int i = 7; i <= 15; ++i) EXPECT_FALSE(visible(i + offset)) << p << " " << i;
            for (int i = 16; i <= 18; ++i) EXPECT_TRUE(visible(i + offset)) << p << " " << i;
            EXPECT_EQ(headless_value(inst, P_INPUT_KIND + offset), kind);
        }
    }
    EXPECT_EQ(host->suites_outstanding, 0);
}

TEST_P(NamesAndVisibility, CornerNamesForEveryChart) {
    for (int p = 1; p <= CARD_TYPE_COUNT; ++p) {
        ASSERT_EQ(headless_user_set(inst, P_CARD_TYPE_POPUP, p), PF_Err_NONE);
        const reference_card* chart = refcard(CARD_TYPE[p]);
        ASSERT_NE(chart, nullptr);
        for (int k = 0; k < 4; ++k)
            EXPECT_STREQ(inst->params[P_CORNER_TL + k].name, chart->corner_names[k]) << p;
        EXPECT_STREQ(inst->params[P_PATCH].name, "Patch");
        EXPECT_TRUE(visible(P_PATCH));
        EXPECT_TRUE(inst->params[P_UPDATE_UI].ui_flags & PF_PUI_INVISIBLE);
    }
}

TEST_P(NamesAndVisibility, FixUiRepairsOnlyWhatDisagrees) {
    PF_OutData out{};
    struct probe {
        bool fix;
        bool mismatch = false;
        PF_Err err = 0;
    } pr{false};
    headless_store(inst, P_CARD_TYPE_POPUP, 1 + static_cast<int>(headless_value(inst, 38)) % 10);
    auto run = [](PF_InData* in, PF_ParamDef* params[], void* user) {
        auto* p = static_cast<probe*>(user);
        PF_OutData o{};
        p->err = FixUI(in, &o, params, nullptr, p->fix, &p->mismatch);
        return p->err;
    };
    ASSERT_EQ(headless_with_in_data(inst, run, &pr), PF_Err_NONE);
    EXPECT_TRUE(pr.mismatch);
    pr.fix = true;
    ASSERT_EQ(headless_with_in_data(inst, run, &pr), PF_Err_NONE);
    EXPECT_TRUE(pr.mismatch);
    EXPECT_EQ(headless_value(inst, P_CARD_TYPE_POPUP),
              card_type_as_popup(static_cast<int>(headless_value(inst, P_CARD_TYPE))));
    pr.fix = false;
    ASSERT_EQ(headless_with_in_data(inst, run, &pr), PF_Err_NONE);
    EXPECT_FALSE(pr.mismatch);
    (void)out;
}

INSTANTIATE_TEST_SUITE_P(BothHosts, NamesAndVisibility,
                         ::testing::Values(FLAVOUR_AE, FLAVOUR_PREMIERE), host_name);

}  // namespace
