#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "headless/window.h"
#include "platform/platform.h"
#include "tests/support/host_support.h"

namespace fs = std::filesystem;

namespace {

std::string contents(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(FileDialog, WithoutAChooserOrOnCancelNothingOpens) {
#if !defined(_WIN32)  // on Windows no owner still shows the system's dialog
    errno = 0;
    EXPECT_EQ(fileopen(nullptr, "ColorCard", "bmp", 'r'), nullptr);
    EXPECT_EQ(errno, ECANCELED);
#endif

    host_window foreign{};  // not a host record: wrong magic
    errno = 0;
    EXPECT_EQ(fileopen(&foreign, "ColorCard", "bmp", 'w'), nullptr);
    EXPECT_EQ(errno, ECANCELED);

    headless_window window;
    headless_window_init(&window);
    window.record.choose_file = nullptr;
    errno = 0;
    EXPECT_EQ(fileopen(&window.record, "ColorCard", "bmp", 'r'), nullptr);
    EXPECT_EQ(errno, ECANCELED);

    headless_window_init(&window);
    headless_window_answer(&window, "");
    errno = 0;
    EXPECT_EQ(fileopen(&window.record, "LUT", "cube", 'w'), nullptr);
    EXPECT_EQ(errno, ECANCELED);
    ASSERT_EQ(window.requests.size(), 1u);
    EXPECT_EQ(window.requests[0].title, "LUT");
    EXPECT_EQ(window.requests[0].extension, "cube");
    EXPECT_EQ(window.requests[0].mode, 'w');
}

TEST(FileDialog, OtherModesAreRefusedWithoutAsking) {
    headless_window window;
    headless_window_init(&window);
    headless_window_answer(&window, "/tmp/never");
    for (char mode : {'a', 'R', '\0', '+'}) {
        errno = 0;
        EXPECT_EQ(fileopen(&window.record, "ColorCard", "bmp", mode), nullptr);
        EXPECT_EQ(errno, ECANCELED);
    }
    EXPECT_TRUE(window.requests.empty());
}

TEST(FileDialog, OpensTheChosenFileOrReportsWhyNot) {
    scratch_dir dir;
    headless_window window;
    headless_window_init(&window);
    const std::string path = (dir.path / "out.cube").string();
    headless_window_answer(&window, path);
    FILE* f = fileopen(&window.record, "LUT", "cube", 'w');
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(errno, 0);
    std::fputs("written", f);
    std::fclose(f);

    headless_window_answer(&window, path);
    f = fileopen(&window.record, "LUT", "cube", 'r');
    ASSERT_NE(f, nullptr);
    char text[16] = {};
    EXPECT_EQ(std::fread(text, 1, sizeof text - 1, f), 7u);
    std::fclose(f);
    EXPECT_STREQ(text, "written");

    // A failed open is not a cancel: the caller reports it.
    headless_window_answer(&window, (dir.path / "missing").string());
    errno = 0;
    EXPECT_EQ(fileopen(&window.record, "LUT", "cube", 'r'), nullptr);
    EXPECT_EQ(errno, ENOENT);
}

TEST(FileSave, ReplacesWholeOrLeavesTheOldFile) {
    scratch_dir dir;
    const fs::path target = dir.path / "card.bmp";
    ASSERT_EQ(filesave(target.string().c_str(), "first", 5), 1);
    EXPECT_EQ(contents(target), "first");
    ASSERT_EQ(filesave(target.string().c_str(), "second!", 7), 1);
    EXPECT_EQ(contents(target), "second!");

    fs::create_directory(dir.path / "taken");
    errno = 0;
    EXPECT_EQ(filesave((dir.path / "taken").string().c_str(), "x", 1), 0);
    EXPECT_NE(errno, 0);
    EXPECT_EQ(filesave((dir.path / "absent" / "f").string().c_str(), "x", 1), 0);
    EXPECT_EQ(filesave("", "x", 1), 0);
    // Only the one file and the folder: no temporaries left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 2);
    EXPECT_EQ(contents(target), "second!");
}

TEST(AboutBox, ShowsTheTextThroughTheHostWindow) {
    headless_window window;
    headless_window_init(&window);
    about(&window.record);
    ASSERT_EQ(window.about_texts.size(), 1u);
    EXPECT_NE(window.about_texts[0].find("Chromalane Color Corrector"), std::string::npos);
    about(nullptr);  // no window: nothing to show, nothing to crash
}

}  // namespace
