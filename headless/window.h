// The headless host's main window: the host record that the effect's file and about
// dialogs talk to. The file dialog answers from a queue of prepared answers (a path,
// or a cancel); with nothing queued it counts as cancelled.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/host_window.h"

struct headless_window {
    host_window record;               // what PF_PlatData_MAIN_WND hands out: &window.record
    std::deque<std::string> answers;  // next answers of the file dialog; "" cancels
    struct request {
        std::string title, extension;
        char mode;
    };
    std::vector<request> requests;         // every file dialog shown
    std::vector<std::string> about_texts;  // every about box shown
};

// Makes `w` a host record whose dialogs answer as described above.
void headless_window_init(headless_window* w);
// Queues the next file dialog's answer: a path, or "" for a cancel.
void headless_window_answer(headless_window* w, const std::string& path);
