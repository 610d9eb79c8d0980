// Drawing the full-screen view (curses): the emulated terminal's screen in a numbered frame,
// the panel beside it, the status and input lines, and an overlay for long texts.
#pragma once

#include <deque>
#include <string>

#include "hostsim/host.h"

namespace opkit_cli {

// What the view shows besides the host's own state.
struct ViewText {
    std::string state;                               // the running call's state, or "idle"
    bool busy = false;                               // a call runs
    std::string last_call;                           // the last call or message started
    std::string last_result;                         // its result, "running" or "-"
    const std::deque<std::string>* events = nullptr; // the recent events, oldest first
    std::string status;                              // the status line
    std::string input;                               // the input line's text
    bool keypad_mode = false;                        // keys go to the terminal, not the input line
};

// Draws the whole view, or a note on the size it needs when the terminal is too small.
void draw_view(const hostsim::Host& host, const ViewText& view);

// Shows `text` over the view until a key other than a scrolling one is pressed.
void show_overlay(const std::string& title, const std::string& text);

} // namespace opkit_cli
