// The Windows file dialog with the system's dialog replaced by prepared answers: what the
// dialog is asked, names outside the ANSI code page, binary streams, and a cancelled save
// that leaves the old file alone.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/platform.h"
#include "platform/windows/dialogs.h"
#include "tests/support/host_support.h"

namespace fs = std::filesystem;

namespace {

struct dialog_log {
    int shown = 0;
    bool save = false;
    DWORD flags = 0;
    std::wstring filter, default_extension;
    HWND owner = nullptr;
    std::wstring answer;  // empty: the user cancels
};
dialog_log the_log;

BOOL answer(OPENFILENAMEW* ofn, bool save) {
    dialog_log& log = the_log;
    ++log.shown;
    log.save = save;
    log.flags = ofn->Flags;
    log.owner = ofn->hwndOwner;
    log.default_extension = ofn->lpstrDefExt ? ofn->lpstrDefExt : L"";
    log.filter.clear();
    for (const wchar_t* f = ofn->lpstrFilter; *f; f += wcslen(f) + 1)
        log.filter += std::wstring(f) + L"|";
    if (log.answer.empty() || log.answer.size() >= ofn->nMaxFile) return FALSE;
    wcscpy(ofn->lpstrFile, log.answer.c_str());
    return TRUE;
}

struct prepared_dialogs {
    prepared_dialogs() {
        the_log = dialog_log{};
        windows_set_file_dialog(answer);
    }
    ~prepared_dialogs() { windows_set_file_dialog(nullptr); }
};

TEST(WindowsFileDialog, AsksWithTheFiltersAndFlagsOfEachMode) {
    prepared_dialogs dialogs;
    errno = 0;
    EXPECT_EQ(fileopen(nullptr, "ColorCard", "bmp", 'r'), nullptr);
    EXPECT_EQ(errno, ECANCELED);
    EXPECT_EQ(the_log.shown, 1);
    EXPECT_FALSE(the_log.save);
    EXPECT_EQ(the_log.filter, L"ColorCard Files (*.bmp)|*.bmp|All Files (*.*)|*.*|");
    EXPECT_EQ(the_log.default_extension, L"bmp");
    EXPECT_EQ(the_log.flags, DWORD(OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY));

    EXPECT_EQ(fileopen(nullptr, "LUT", "cube", 'w'), nullptr);
    EXPECT_TRUE(the_log.save);
    EXPECT_EQ(the_log.filter, L"Cube Files (*.cube)|*.cube|All Files (*.*)|*.*|");
    EXPECT_EQ(the_log.flags,
              DWORD(OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY));

    EXPECT_EQ(fileopen(nullptr, "Other", "txt", 'w'), nullptr);
    EXPECT_EQ(the_log.filter, L"All Files (*.*)|*.*|");

    // Other modes are refused before any dialog is shown.
    the_log.shown = 0;
    errno = 0;
    EXPECT_EQ(fileopen(nullptr, "ColorCard", "bmp", 'a'), nullptr);
    EXPECT_EQ(errno, ECANCELED);
    EXPECT_EQ(the_log.shown, 0);
}

TEST(WindowsFileDialog, OpensAnyNameInBinaryMode) {
    scratch_dir dir;
    prepared_dialogs dialogs;
    // Greek, Czech and Japanese letters: outside every single ANSI code page at once.
    const fs::path file = dir.path / L"\u03c7\u0159\u65e5-card.cube";
    the_log.answer = file.wstring();
    FILE* f = fileopen(nullptr, "LUT", "cube", 'w');
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(errno, 0);
    std::fputs("a\nb", f);  // no carriage return may be added
    std::fclose(f);
    EXPECT_EQ(fs::file_size(file), 3u);

    f = fileopen(nullptr, "LUT", "cube", 'r');
    ASSERT_NE(f, nullptr);
    char text[8] = {};
    EXPECT_EQ(std::fread(text, 1, sizeof text - 1, f), 3u);
    std::fclose(f);
    EXPECT_STREQ(text, "a\nb");

    // The UTF-8 path that filechoose hands on reaches the same file through filesave.
    char path[1024];
    ASSERT_EQ(filechoose(nullptr, "LUT", "cube", 'w', path, sizeof path), 1);
    ASSERT_EQ(filesave(path, "new", 3), 1);
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "new");
}

TEST(WindowsFileDialog, CancelledSaveLeavesTheOldFile) {
    scratch_dir dir;
    prepared_dialogs dialogs;
    const fs::path file = dir.path / "keep.bmp";
    std::ofstream(file, std::ios::binary) << "old";
    errno = 0;
    EXPECT_EQ(fileopen(nullptr, "ColorCard", "bmp", 'w'), nullptr);
    EXPECT_EQ(errno, ECANCELED);
    char path[16] = "untouched";
    EXPECT_EQ(filechoose(nullptr, "ColorCard", "bmp", 'w', path, sizeof path), 0);
    EXPECT_STREQ(path, "");
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
}

}  // namespace
