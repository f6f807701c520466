// The headless host's own duties: loading plug-in files, and project files that keep an
// instance's values (cards through the effect's flatten and unflatten).
#include "headless/host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "tests/support/plugin_support.h"

namespace {

std::string temp_path(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("chromalane_host_test_" + std::to_string(::getpid()) + "_" + name))
        .string();
}

TEST(PluginLoading, RefusesFilesThatAreNoPlugin) {
    headless_plugin p;
    std::string error;
    EXPECT_FALSE(headless_load(&p, temp_path("missing.so"), &error));
    EXPECT_NE(error.find("not an effect plug-in"), std::string::npos) << error;
    std::string text = temp_path("text.so");
    std::ofstream(text) << "not an ELF file";
    EXPECT_FALSE(headless_load(&p, text, &error));
    registration_record r{};
    EXPECT_FALSE(headless_read_registration(text, &r));
    std::remove(text.c_str());
    // A shared library without the record is not an effect either.
    EXPECT_FALSE(headless_read_registration("/bin/sh", &r));
}

class Projects : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(loaded_plugin(), nullptr);
        host = headless_host_new(loaded_plugin(), FLAVOUR_AE);
        PF_Err err = 0;
        inst = headless_instance_new(host, 200, 100, &err);
        ASSERT_EQ(err, PF_Err_NONE);
        path = temp_path("project.json");
    }
    void TearDown() override {
        headless_instance_delete(inst);
        headless_host_delete(host);
        std::remove(path.c_str());
    }
    headless_host* host = nullptr;
    headless_instance* inst = nullptr;
    std::string path;
};

TEST_F(Projects, SaveAndLoadKeepEveryValue) {
    ASSERT_EQ(headless_user_set(inst, 3, 43), PF_Err_NONE);
    ASSERT_EQ(headless_user_set(inst, 38, 7), PF_Err_NONE);  // a 140-patch chart
    ASSERT_EQ(headless_user_set(inst, 49, 1.25), PF_Err_NONE);
    ASSERT_EQ(headless_user_set_point(inst, 34, 150.5, 12.25), PF_Err_NONE);
    ASSERT_EQ(headless_user_set_color(inst, 42, 0.2f, 0.4f, 0.6f), PF_Err_NONE);
    std::string error;
    ASSERT_TRUE(headless_project_save(inst, path, &error)) << error;

    PF_Err err = 0;
    headless_instance* copy = headless_instance_new(host, 200, 100, &err);
    ASSERT_TRUE(headless_project_load(copy, path, &error)) << error;
    for (int i = 1; i < 88; ++i) {
        SCOPED_TRACE(i);
        const PF_ParamDef& a = inst->params[i];
        const PF_ParamDef& b = copy->params[i];
        EXPECT_EQ(headless_value(inst, i), headless_value(copy, i));
        if (a.param_type == PF_Param_POINT) {
            EXPECT_EQ(a.u.td.x_value, b.u.td.x_value);
            EXPECT_EQ(a.u.td.y_value, b.u.td.y_value);
        }
        if (a.param_type == PF_Param_COLOR) {
            EXPECT_EQ(std::memcmp(&a.u.cd.value, &b.u.cd.value, 4), 0);
        }
        if (a.param_type == PF_Param_ARBITRARY_DATA) {
            std::vector<uint8_t> fa, fb;
            ASSERT_EQ(headless_flatten(inst, i, &fa), PF_Err_NONE);
            ASSERT_EQ(headless_flatten(copy, i, &fb), PF_Err_NONE);
            EXPECT_EQ(fa, fb);
        }
    }
    headless_instance_delete(copy);
}

// Corners and whole numbers beyond what the host's controls hold saturate, NaN counts as
// 0 (a float-to-int conversion of 1e300 is undefined).
TEST_F(Projects, HostConversionsSaturate) {
    headless_user_set_point(inst, 33, 1e300, std::nan(""));
    EXPECT_EQ(inst->params[33].u.td.x_value, 2147483647);
    EXPECT_EQ(inst->params[33].u.td.y_value, 0);
    headless_user_set_point(inst, 33, -1e300, 1.5);
    EXPECT_EQ(inst->params[33].u.td.x_value, -2147483647 - 1);
    EXPECT_EQ(inst->params[33].u.td.y_value, 98304);
}

TEST_F(Projects, RefusesBadProjectsWithoutChangingAnything) {
    std::string error;
    ASSERT_TRUE(headless_project_save(inst, path, &error));
    nlohmann::json good = nlohmann::json::parse(std::ifstream(path));
    auto write = [&](const std::string& text) { std::ofstream(path, std::ios::trunc) << text; };
    auto refused = [&](const char* expect) {
        double before = headless_value(inst, 49);
        std::string e;
        EXPECT_FALSE(headless_project_load(inst, path, &e));
        EXPECT_NE(e.find(expect), std::string::npos) << e;
        EXPECT_EQ(headless_value(inst, 49), before);
    };
    std::remove(path.c_str());
    refused("cannot be read");
    write("{ not json");
    refused("not a JSON project");
    nlohmann::json j = good;
    j["version"] = 2;
    write(j.dump());
    refused("unknown format version");
    j = good;
    j["effect"] = "Some Other Effect";
    write(j.dump());
    refused("another effect");
    j = good;
    j["parameters"].push_back({{"index", 49}, {"value", 3.0}});
    j["parameters"].push_back({{"index", 40}, {"flat", "00zz"}});
    write(j.dump());
    refused("malformed card");
    j = good;
    j["parameters"].push_back({{"index", 49}, {"value", 3.0}});
    j["parameters"].push_back({{"index", 40}, {"flat", "0000"}});  // far too short
    write(j.dump());
    refused("card value that is too short");
    j = good;
    j["parameters"].push_back({{"index", 40}, {"value", 1}});
    write(j.dump());
    refused("another kind");
    j = good;
    j["parameters"].push_back({{"index", 88}, {"value", 1}});
    write(j.dump());
    refused("out of range");

    // Values no control could set, each refused naming the parameter.
    struct bad {
        int index;
        nlohmann::json value;
        const char* expect;
    };
    const bad values[] = {
        {49, {{"value", 1e30}}, "parameter 49 \"Exposure (EV)\" is 1e+30, outside -10 to 10"},
        {50, {{"value", 0.0}}, "parameter 50 \"Grays\" is 0"},
        {50, {{"value", 1.0}}, "parameter 50 \"Grays\" is 1"},
        {43, {{"value", 1e10}}, "parameter 43 \"Color Correction\" is 1e+10, not one of its 5"},
        {43, {{"value", 2.5}}, "not one of its 5"},
        {44, {{"value", 2}}, "neither 0 nor 1"},
        {39, {{"value", 99}}, "parameter 39 \"card_type\" is 99, not a chart"},
        {39, {{"value", -1}}, "not a chart"},
        {4, {{"value", 2.5}}, "not a whole number"},
        {61, {{"value", 800.25}}, "not a whole number"},
        {33, {{"point", {1e300, 0}}}, "parameter 33"},
        {42, {{"color", {0, 300, 0}}}, "is 300, outside 0 to 255"},
    };
    for (const bad& b : values) {
        j = good;
        nlohmann::json v = b.value;
        v["index"] = b.index;
        j["parameters"].push_back(v);
        write(j.dump());
        refused(b.expect);
    }
    // Equal black and white levels, on either side.
    for (int black : {17, 72}) {
        j = good;
        j["parameters"].push_back({{"index", black}, {"value", 0.25}});
        j["parameters"].push_back({{"index", black + 1}, {"value", 0.25}});
        write(j.dump());
        refused("are equal");
    }
    // A card whose patch values are not numbers.
    j = good;
    for (auto& v : j["parameters"])
        if (v["index"] == 40) {
            std::string hex = v["flat"].get<std::string>();
            hex.replace(2 * 12, 8, "0000c07f");  // the first linear red: a NaN
            v["flat"] = hex;
        }
    write(j.dump());
    refused("not a number");
}

}  // namespace
