#include "headless/window.h"

#include <cstring>

namespace {

int choose_file(void* context, const char* title, const char* extension, char mode, char* path,
                size_t path_size) {
    auto* w = static_cast<headless_window*>(context);
    w->requests.push_back({title, extension, mode});
    if (w->answers.empty()) return 0;
    const std::string answer = w->answers.front();
    w->answers.pop_front();
    if (answer.empty() || answer.size() >= path_size) return 0;
    std::memcpy(path, answer.c_str(), answer.size() + 1);
    return 1;
}

void show_about(void* context, const char* title, const char* text) {
    auto* w = static_cast<headless_window*>(context);
    w->about_texts.push_back(std::string(title) + "\n" + text);
}

}  // namespace

void headless_window_init(headless_window* w) {
    w->record.magic = HOST_WINDOW_MAGIC;
    w->record.context = w;
    w->record.choose_file = choose_file;
    w->record.show_about = show_about;
    w->answers.clear();
    w->requests.clear();
    w->about_texts.clear();
}

void headless_window_answer(headless_window* w, const std::string& path) {
    w->answers.push_back(path);
}
