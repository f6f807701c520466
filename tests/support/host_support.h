// Helpers the host-layer tests share: a scratch folder per test, and decoder outputs
// filled with a pattern so that a refused read can be seen to leave them alone.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "host/colorcard.h"

// A fresh, empty folder named after the running test, removed with everything in it.
struct scratch_dir {
    std::filesystem::path path;
    scratch_dir() {
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        path = std::filesystem::temp_directory_path() /
               ("chromalane-" + std::string(test->test_suite_name()) + "-" +
                std::to_string(::getpid()) + "-" + test->name());
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~scratch_dir() { std::filesystem::remove_all(path); }
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;
    std::string file(const char* name) const { return (path / name).string(); }
};

// What a ColorCard decoder fills, set to a pattern beforehand.
struct decoder_outputs {
    transfer_function tf;
    color_space cs;
    card c;
    decoder_outputs() {
        std::memset(&tf, 0xA5, sizeof tf);
        std::memset(&cs, 0xA5, sizeof cs);
        std::memset(static_cast<void*>(&c), 0xA5, sizeof c);
    }
    bool untouched() const {
        const decoder_outputs fresh;
        return std::memcmp(&tf, &fresh.tf, sizeof tf) == 0 &&
               std::memcmp(&cs, &fresh.cs, sizeof cs) == 0 &&
               std::memcmp(static_cast<const void*>(&c), static_cast<const void*>(&fresh.c),
                           sizeof c) == 0;
    }
};
