// The full-screen view (curses). The plug-in runs on a worker thread, one call at a time, while
// this thread draws the emulated terminal from the host's state ten times a second and hands
// the keys typed to the host's keyboard; the host serialises both sides with its own lock.
#include "shell.h"

#if defined(OPKIT_HAVE_CURSES)

#include <curses.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <future>
#include <iostream>
#include <optional>
#include <sstream>
#include <thread>

#include "call_status.h"
#include "drawing.h"
#include "explain.h"
#include "input_line.h"
#include "output.h"
#include "recorder.h"
#include "render.h"
#include "runner.h"
#include "script.h"
#include "worker.h"

namespace opkit_cli {

namespace {

// Set by SIGTERM, SIGHUP (the terminal closed) or SIGINT to the signal's number: the view
// closes the terminal down as on F10, the recording is written, and the program ends with the
// conventional status of a process ended by that signal, never with the status of failed
// expectations.
volatile std::sig_atomic_t terminate_requested = 0;

extern "C" void request_termination(int signal) {
    terminate_requested = signal;
}

int signal_status() {
    return terminate_requested != 0 ? 128 + static_cast<int>(terminate_requested) : 0;
}

constexpr int key_ctrl_a = 1;  // sends the abort key
constexpr int key_ctrl_q = 17; // leaves
constexpr int key_ctrl_t = 20; // input line <-> terminal keypad
constexpr int key_ctrl_u = 21; // clears the input line

;

class Shell {
  public:
    Shell(Session& session, Recorder* recorder)
        : session_(session), runner_(session, sink_, RunOptions{}), recorder_(recorder) {}

    int run();

  private:
    void draw();
    void handle_key(int ch);
    void key_to_host(int ch);
    void execute_line(const std::string& line);
    bool start_directive_call(const Directive& d);
    void run_directive(const Directive& d, const std::string& text);
    void edit_input(int ch);
    void start_call(int code, const std::string& record, const std::string& label);
    void set_status(const std::string& text) { status_ = text; }
    // Records a key, set or stop made now: timed from the running call's start, if one runs.
    void record_during_call(const std::string& event) {
        if (recorder_ == nullptr) {
            return;
        }
        if (worker_.busy()) {
            recorder_->during_call(static_cast<long long>(worker_.seconds_running() * 1000.0),
                                   event);
        } else {
            recorder_->line(event);
        }
    }
    // Shows `text` on the status line and keeps it in the panel's list of recent events.
    void log(const std::string& text) {
        set_status(text);
        events_.push_back(text);
        while (events_.size() > 4) {
            events_.pop_front();
        }
    }

    Session& session_;
    std::ostringstream sink_;
    Runner runner_;
    Recorder* recorder_; // null unless the session is recorded
    Worker worker_;

    InputLine input_;
    bool focus_input_ = true; // while a call runs: false sends keys to the terminal
    bool quit_ = false;
    std::string status_ = "type a record or a directive and press Enter; F10 leaves";
    std::deque<std::string> events_;
    std::string last_call_;
    std::string last_result_ = "-";
    CallStatus running_; // what the running call is, for its waiting display
    int line_number_ = 0;
};

std::string key_label(uint16_t code) {
    char text[48];
    if (code >= 32 && code < 127) {
        std::snprintf(text, sizeof text, "key %u (0x%X '%c')", code, code, static_cast<char>(code));
    } else if (code == hostsim::key_abort) {
        std::snprintf(text, sizeof text, "abort key (256)");
    } else {
        std::snprintf(text, sizeof text, "key %u (0x%X)", code, code);
    }
    return text;
}

void Shell::start_call(int code, const std::string& record, const std::string& label) {
    session_.host().clear_trace();
    running_.start(code, record);
    last_call_ = label;
    last_result_ = "running";
    focus_input_ = false;
    if (recorder_ != nullptr) {
        recorder_->call(runner_.clock_text(), label);
    }
    worker_.start(session_, code, record);
}

void Shell::execute_line(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return;
    }
    input_.remember(text);
    ++line_number_;
    const std::string word = text.substr(first, text.find_first_of(" \t", first) - first);
    if (word == "quit" || word == "exit") {
        quit_ = true;
        return;
    }
    if (word == "help") {
        set_status(directive_summary() + "; or type a record");
        return;
    }
    // A line that starts with the length digits is a record, exactly as typed.
    if (std::isdigit(static_cast<unsigned char>(text[0])) != 0) {
        start_directive_call(Directive{Call{text, {}}, line_number_, text});
        return;
    }
    std::optional<Directive> d;
    try {
        const hostsim::HostOptions& host = session_.host().options();
        d = parse_line(text, line_number_, ScreenSize{host.rows, host.columns});
    } catch (const ScriptError& e) {
        set_status("column " + std::to_string(e.column()) + ": " + e.what());
        return;
    }
    if (d) {
        run_directive(*d, text);
    }
}

// Starts the call or message a directive asks for; false when it is no call.
bool Shell::start_directive_call(const Directive& d) {
    const auto* call = std::get_if<Call>(&d.action);
    const auto* message = std::get_if<Message>(&d.action);
    if (call == nullptr && message == nullptr) {
        return false;
    }
    if (worker_.busy()) {
        set_status("a call is running: finish it first (its keys go to the terminal)");
        return true;
    }
    if (call != nullptr) {
        start_call(3, call->record, "call " + quoted_text(call->record));
    } else {
        start_call(message->code, {}, "message " + std::to_string(message->code));
    }
    log(last_call_);
    return true;
}

void Shell::run_directive(const Directive& d, const std::string& text) {
    if (start_directive_call(d)) {
        return;
    }
    if (recorder_ != nullptr && Recorder::acts_on_host(text)) {
        // While a call runs, keys, variables and stops reach it as timed events on replay.
        const bool event = std::holds_alternative<PressKeys>(d.action) ||
                           std::holds_alternative<SetVariable>(d.action) ||
                           std::holds_alternative<Stop>(d.action);
        if (worker_.busy() && event) {
            record_during_call(text);
        } else {
            recorder_->line(text);
        }
    }
    if (const auto* explain = std::get_if<ExplainRecord>(&d.action)) {
        show_overlay("explain", render_explanation(analyse(explain->record)));
        return;
    }
    const auto* show = std::get_if<Show>(&d.action);
    if (show != nullptr && show->what == ShowWhat::trace) {
        std::string out;
        for (const std::string& l : render_trace(session_.host().trace())) {
            out += l + "\n";
        }
        show_overlay("trace of the last call", out.empty() ? "(no service calls)\n" : out);
        return;
    }
    if (const auto* expect = std::get_if<Expect>(&d.action)) {
        const auto failure = runner_.check(expect->what);
        set_status(failure ? "FAIL: " + *failure : "ok: " + text);
        return;
    }
    if (std::holds_alternative<Reload>(d.action) && worker_.busy()) {
        set_status("a call is running: reload when it has ended");
        return;
    }
    try {
        sink_.str({});
        runner_.execute(d, "shell");
        std::string out = sink_.str();
        while (!out.empty() && out.back() == '\n') {
            out.pop_back();
        }
        if (out.find('\n') != std::string::npos) {
            show_overlay(text, out);
        } else {
            set_status(out.empty() ? "done: " + text : out);
        }
    } catch (const std::exception& e) {
        set_status(std::string("error: ") + e.what());
    }
}

void Shell::key_to_host(int ch) {
    hostsim::Host& host = session_.host();
    uint16_t code = 0;
    if (ch == key_ctrl_a) {
        code = hostsim::key_abort;
    } else if (ch == KEY_ENTER || ch == '\n' || ch == '\r') {
        code = hostsim::key_enter;
    } else if (ch == KEY_BACKSPACE || ch == 127 || ch == 8) {
        code = 8;
    } else if (ch >= 0 && ch < 256) {
        code = static_cast<uint16_t>(ch);
    } else {
        set_status("that key has no code on the terminal; not sent");
        return;
    }
    // Recorded before it is pressed: the key may end the call at once, and a key recorded after
    // that end would lose its place in the call.
    record_during_call("key " + std::to_string(code));
    host.press_key(code);
    log(key_label(code) + " sent");
}

void Shell::handle_key(int ch) {
    if (ch == KEY_F(10) || ch == key_ctrl_q) {
        quit_ = true;
        return;
    }
    if (ch == KEY_RESIZE) {
        clear();
        return;
    }
    if (ch == key_ctrl_t && worker_.busy()) {
        focus_input_ = !focus_input_;
        set_status(focus_input_
                       ? "input line: directives act on the host now (set, key, stop, at ...)"
                       : "keys go to the terminal");
        return;
    }
    if (worker_.busy() && !focus_input_) {
        key_to_host(ch);
        return;
    }
    if (ch == key_ctrl_a) {
        record_during_call("key abort");
        session_.host().press_key(hostsim::key_abort);
        log("abort key (256) queued");
        return;
    }
    edit_input(ch);
}

// A key on the input line: Enter runs it, the arrows walk the history, others edit it.
void Shell::edit_input(int ch) {
    using Edit = InputLine::Edit;
    switch (ch) {
    case KEY_ENTER:
    case '\n':
    case '\r':
        if (const std::optional<std::string> line = input_.edit(Edit::enter)) {
            execute_line(*line);
        }
        return;
    case KEY_BACKSPACE:
    case 127:
    case 8: input_.edit(Edit::erase_last); return;
    case key_ctrl_u:
    case 27: input_.edit(Edit::clear); return;
    case KEY_UP: input_.edit(Edit::older); return;
    case KEY_DOWN: input_.edit(Edit::newer); return;
    default:
        if (ch >= 32 && ch < 127) {
            input_.type(static_cast<char>(ch));
        }
        return;
    }
}

void Shell::draw() {
    ViewText view;
    view.busy = worker_.busy();
    view.state =
        view.busy ? running_.waiting_text(session_.host(), worker_.seconds_running()) : "idle";
    view.last_call = last_call_;
    view.last_result = last_result_;
    view.events = &events_;
    view.status = status_;
    view.input = input_.text();
    view.keypad_mode = view.busy && !focus_input_;
    draw_view(session_.host(), view);
}

int Shell::run() {
    while (!quit_ && terminate_requested == 0) {
        if (const auto result = worker_.take_result()) {
            last_result_ = std::to_string(*result);
            const std::string notice = notice_in_trace(session_.host().trace());
            runner_.record_outcome(*result, notice);
            if (recorder_ != nullptr) {
                recorder_->result(*result, notice);
            }
            focus_input_ = true;
            log(last_call_ + " => " + last_result_);
        }
        draw();
        const int ch = getch(); // waits at most 100 ms
        if (ch != ERR) {
            handle_key(ch);
        }
    }
    if (worker_.busy()) {
        // End what runs: the abort key, Enter and a stop end every wait the functions make.
        for (int i = 0; i < 30 && worker_.busy(); ++i) {
            session_.host().press_key(hostsim::key_abort);
            session_.host().press_key(hostsim::key_enter);
            session_.host().request_stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (worker_.busy()) {
            // The call never ends: leave without waiting for it.
            endwin();
            std::_Exit(signal_status());
        }
    }
    return signal_status();
}

} // namespace

bool shell_available() {
    return true;
}

// Writes a recorded session's script. Throws Failure when it cannot be written.
void write_recording(const std::string& path, const Recorder& recorder, const hostsim::Host& host) {
    const std::string problem =
        write_file(path, recorder.script(host.variables(), host.screen_rows()));
    if (!problem.empty()) {
        throw Failure("opkit-host: cannot write the recording " + printable(path) + ": " + problem);
    }
    std::cout << "opkit-host: the session is recorded in " << printable(path)
              << "; replay it with opkit-host run " << printable(path) << "\n";
}

// Checked before the view opens, so that a path that cannot be written fails at once, and
// without emptying a file that is there: it is written when the session ends.
void check_recording_path(const std::string& path, const SessionOptions& options) {
    std::string problem = refuse_output(path, recording_output, {options.plugin_path});
    if (problem.empty()) {
        errno = 0;
        std::FILE* file = std::fopen(path.c_str(), "ab");
        if (file == nullptr) {
            problem = errno != 0 ? std::strerror(errno) : "it cannot be opened";
        } else {
            std::fclose(file);
        }
    }
    if (!problem.empty()) {
        throw Failure("opkit-host: cannot write the recording " + printable(path) + ": " + problem);
    }
}

int run_shell(SessionOptions options, const std::string& record_path) {
    Session session(options);
    std::string error;
    if (!session.open(error)) {
        throw Failure("opkit-host: cannot load the plug-in: " + error);
    }
    Recorder recorder;
    session.host().set_trace_enabled(true);
    // Before initscr, so that curses keeps these handlers instead of its own (which exit 1).
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        std::signal(signal, request_termination);
    }
    set_escdelay(25);
    initscr();
    raw();
    noecho();
    keypad(stdscr, TRUE);
    timeout(100);
    int status = 0;
    {
        Shell shell(session, record_path.empty() ? nullptr : &recorder);
        status = shell.run();
    }
    endwin();
    if (!record_path.empty()) {
        write_recording(record_path, recorder, session.host());
    }
    return status;
}

} // namespace opkit_cli

#else

namespace opkit_cli {

bool shell_available() {
    return false;
}

void check_recording_path(const std::string&, const SessionOptions&) {}

int run_shell(SessionOptions, const std::string&) {
    throw Failure("opkit-host: this build has no full-screen view (it was built without curses)");
}

} // namespace opkit_cli

#endif
