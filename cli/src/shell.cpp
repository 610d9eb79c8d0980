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

#include "explain.h"
#include "output.h"
#include "recorder.h"
#include "render.h"
#include "runner.h"
#include "script.h"

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

using Clock = std::chrono::steady_clock;

constexpr int key_ctrl_a = 1;  // sends the abort key
constexpr int key_ctrl_q = 17; // leaves
constexpr int key_ctrl_t = 20; // input line <-> terminal keypad
constexpr int key_ctrl_u = 21; // clears the input line
constexpr int frame_left = 4;  // row numbers stand left of the frame

// A call into the plug-in running on the worker thread.
class Worker {
  public:
    bool busy() const {
        return result_.valid() &&
               result_.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
    }

    void start(Session& session, int code, std::string record) {
        started_ = Clock::now();
        result_ = std::async(std::launch::async, [&session, code, record] {
            return code == 3 ? session.plugin().call(record) : session.plugin().message(code);
        });
    }

    // The result of a call that has ended since the last time this was asked.
    std::optional<int> take_result() {
        if (!result_.valid() || busy()) {
            return std::nullopt;
        }
        return result_.get();
    }

    double seconds_running() const {
        return std::chrono::duration<double>(Clock::now() - started_).count();
    }

  private:
    std::future<int> result_;
    Clock::time_point started_{};
};

class Shell {
  public:
    Shell(Session& session, Recorder* recorder)
        : session_(session), runner_(session, sink_, RunOptions{}), recorder_(recorder) {}

    int run();

  private:
    void draw();
    bool fits() const;
    void draw_screen();
    void draw_panel(int left);
    void handle_key(int ch);
    void key_to_host(int ch);
    void execute_line(const std::string& line);
    void remember(const std::string& line);
    bool start_directive_call(const Directive& d);
    void run_directive(const Directive& d, const std::string& text);
    void edit_input(int ch);
    void start_call(int code, const std::string& record, const std::string& label);
    void show_overlay(const std::string& title, const std::string& text);
    std::string waiting_text() const;
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

    std::string input_;
    std::deque<std::string> history_;
    int history_at_ = -1;
    bool focus_input_ = true; // while a call runs: false sends keys to the terminal
    bool quit_ = false;
    std::string status_ = "type a record or a directive and press Enter; F10 leaves";
    std::deque<std::string> events_;
    std::string last_call_;
    std::string last_result_ = "-";
    // What the running call is, for its waiting display.
    std::string running_label_;
    std::string running_function_;
    std::optional<opkit::Behaviour> running_behaviour_; // of the function running
    double running_seconds_ = 0; // a delay: its nominal duration; a wait: its timeout
    int running_variable_ = 0;
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
    running_label_ = label;
    running_function_.clear();
    running_behaviour_.reset();
    running_seconds_ = 0;
    if (code == 3) {
        const Analysis a = analyse(record);
        if (a.layout != nullptr && a.notice.empty()) {
            running_function_ = a.layout->name;
            running_behaviour_ = a.layout->behaviour;
            running_variable_ = a.waits_for;
            running_seconds_ = a.seconds;
        }
    } else if (code == 5) {
        running_function_ = "self-test";
    }
    last_call_ = label;
    last_result_ = "running";
    focus_input_ = false;
    if (recorder_ != nullptr) {
        recorder_->call(runner_.clock_text(), label);
    }
    worker_.start(session_, code, record);
}

std::string Shell::waiting_text() const {
    if (!worker_.busy()) {
        return "idle";
    }
    const std::string row0 = session_.host().screen_row(0);
    const std::string_view bad_param(opkit::bad_param_text, opkit::bad_param_code_column);
    if (row0.rfind(bad_param, 0) == 0 || row0.rfind(opkit::append_text, 0) == 0) {
        return "notice waiting for a key: press any key";
    }
    const double left = std::max(0.0, running_seconds_ - worker_.seconds_running());
    char text[96];
    if (running_behaviour_ == opkit::Behaviour::delay) {
        std::snprintf(text, sizeof text, "%s waiting, %.1f s left (Ctrl-A aborts)",
                      running_function_.c_str(), left);
        return text;
    }
    if (running_behaviour_ == opkit::Behaviour::wait_for_variable) {
        std::snprintf(text, sizeof text, "%s waiting for variable %d, %.0f s left",
                      running_function_.c_str(), running_variable_, left);
        return text;
    }
    if (running_function_ == "self-test") {
        return "self-test: press keys; Enter (13) ends it";
    }
    return "running";
}

void Shell::draw_screen() {
    const hostsim::Host& host = session_.host();
    const int rows = host.options().rows;
    const int columns = host.options().columns;
    const Ruler ruler = column_ruler(static_cast<size_t>(columns));
    mvaddstr(0, frame_left + 1, ruler.tens.c_str());
    mvaddstr(1, frame_left, ("+" + ruler.units + "+").c_str());
    const int cursor_row = host.cursor_row();
    const int cursor_column = host.cursor_column();
    for (int r = 0; r < rows; ++r) {
        char number[16];
        std::snprintf(number, sizeof number, "%3d ", r);
        mvaddstr(2 + r, 0, number);
        addch('|');
        for (int c = 0; c < columns; ++c) {
            const hostsim::Cell cell = host.cell(r, c);
            const auto u = static_cast<unsigned char>(cell.character);
            chtype ch = (u < 0x20 || u >= 0x7f) ? ' ' : u;
            if (cell.attribute != 0) {
                ch |= A_REVERSE;
            }
            if (r == cursor_row && c == cursor_column) {
                ch |= A_UNDERLINE;
            }
            addch(ch);
        }
        addch('|');
    }
    mvaddstr(2 + rows, frame_left,
             ("+" + std::string(static_cast<size_t>(columns), '-') + "+").c_str());
}

void Shell::draw_panel(int left) {
    const hostsim::Host& host = session_.host();
    int y = 0;
    const auto line = [&](const std::string& text, attr_t attribute = A_NORMAL) {
        if (y >= LINES - 2) {
            return;
        }
        attron(attribute);
        mvaddnstr(y++, left, text.c_str(), std::max(0, COLS - left - 1));
        attroff(attribute);
    };
    line("opkit-host shell", A_BOLD);
    line("clock  " + hostsim::format_date_time(host.now()) + " (real)");
    line("state  " + waiting_text(), worker_.busy() ? A_BOLD : A_NORMAL);
    line("last   " + (last_call_.empty() ? std::string("-") : last_call_));
    line("result " + last_result_);
    line("cursor " + std::to_string(host.cursor_row()) + "," +
         std::to_string(host.cursor_column()) + "  keys queued " +
         std::to_string(host.keys_waiting()));
    line(std::string("transaction messages ") + (host.transaction_messages() ? "on" : "off"));
    line("");
    line("recent", A_BOLD);
    for (const std::string& e : events_) {
        line("  " + e);
    }
    line("");
    line("user variables", A_BOLD);
    int shown = 0;
    for (const auto& [number, text] : host.variables()) {
        if (text.empty()) {
            continue;
        }
        char label[16];
        std::snprintf(label, sizeof label, "%3d = ", number);
        line(label + quoted_text(text));
        ++shown;
    }
    if (shown == 0) {
        line("  (all empty)");
    }
    line("");
    line("Enter runs the line  F10 quits", A_DIM);
    line("Ctrl-A abort key  Ctrl-T keypad/line", A_DIM);
}

// The terminal's size that the frame needs: the ruler, the rows and the border, the status
// and input lines; the row numbers, the frame and its borders.
bool Shell::fits() const {
    const hostsim::HostOptions& o = session_.host().options();
    return LINES >= o.rows + 5 && COLS >= frame_left + o.columns + 2;
}

void Shell::draw() {
    erase();
    if (!fits()) {
        // Said instead of a frame cut into pieces; the view goes on and redraws when resized.
        const hostsim::HostOptions& o = session_.host().options();
        const std::string text =
            "The terminal is " + std::to_string(COLS) + " x " + std::to_string(LINES) +
            "; the view needs at least " + std::to_string(frame_left + o.columns + 2) + " x " +
            std::to_string(o.rows + 5) +
            ". Enlarge it, or give --rows and --columns; F10 or Ctrl-Q leaves.";
        for (size_t at = 0, y = 0; at < text.size() && static_cast<int>(y) < LINES; ++y) {
            const size_t width = static_cast<size_t>(std::max(1, COLS - 1));
            mvaddnstr(static_cast<int>(y), 0, text.c_str() + at, static_cast<int>(width));
            at += width;
        }
        refresh();
        return;
    }
    draw_screen();
    const int columns = session_.host().options().columns;
    draw_panel(frame_left + columns + 4);
    const bool keypad_mode = worker_.busy() && !focus_input_;
    mvaddnstr(LINES - 2, 0, status_.c_str(), COLS - 1);
    const std::string prompt =
        keypad_mode ? "[keys go to the terminal; Ctrl-T: input line] " : "> ";
    mvaddnstr(LINES - 1, 0, (prompt + (keypad_mode ? std::string() : input_)).c_str(), COLS - 1);
    if (keypad_mode) {
        const hostsim::Host& host = session_.host();
        move(2 + host.cursor_row(), frame_left + 1 + host.cursor_column());
    } else {
        move(LINES - 1, static_cast<int>(std::min<size_t>(prompt.size() + input_.size(),
                                                          static_cast<size_t>(COLS - 1))));
    }
    refresh();
}

void Shell::show_overlay(const std::string& title, const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        lines.push_back(l);
    }
    size_t top = 0;
    while (true) {
        erase();
        attron(A_BOLD);
        mvaddnstr(0, 0, (title + "   (arrows/PgUp/PgDn scroll, any other key closes)").c_str(),
                  COLS - 1);
        attroff(A_BOLD);
        for (int y = 1; y < LINES && top + static_cast<size_t>(y - 1) < lines.size(); ++y) {
            mvaddnstr(y, 0, lines[top + static_cast<size_t>(y - 1)].c_str(), COLS - 1);
        }
        refresh();
        const int ch = getch();
        const size_t page = static_cast<size_t>(std::max(1, LINES - 2));
        if (ch == ERR) {
            continue;
        }
        if (ch == KEY_DOWN && top + 1 < lines.size()) {
            ++top;
        } else if (ch == KEY_UP && top > 0) {
            --top;
        } else if (ch == KEY_NPAGE) {
            top = std::min(top + page, lines.empty() ? 0 : lines.size() - 1);
        } else if (ch == KEY_PPAGE) {
            top = top > page ? top - page : 0;
        } else if (ch != KEY_RESIZE) {
            break;
        }
    }
}

void Shell::execute_line(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return;
    }
    remember(text);
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

void Shell::remember(const std::string& line) {
    if (history_.empty() || history_.back() != line) {
        history_.push_back(line);
        if (history_.size() > 200) {
            history_.pop_front();
        }
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
    switch (ch) {
    case KEY_ENTER:
    case '\n':
    case '\r': {
        const std::string line = input_;
        input_.clear();
        history_at_ = -1;
        execute_line(line);
        return;
    }
    case KEY_BACKSPACE:
    case 127:
    case 8:
        if (!input_.empty()) {
            input_.pop_back();
        }
        return;
    case key_ctrl_u:
    case 27: input_.clear(); return;
    case KEY_UP:
        if (!history_.empty()) {
            history_at_ = history_at_ < 0 ? static_cast<int>(history_.size()) - 1
                                          : std::max(0, history_at_ - 1);
            input_ = history_[static_cast<size_t>(history_at_)];
        }
        return;
    case KEY_DOWN:
        if (history_at_ >= 0) {
            ++history_at_;
            if (history_at_ >= static_cast<int>(history_.size())) {
                history_at_ = -1;
                input_.clear();
            } else {
                input_ = history_[static_cast<size_t>(history_at_)];
            }
        }
        return;
    default:
        if (ch >= 32 && ch < 127) {
            input_ += static_cast<char>(ch);
        }
        return;
    }
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

// Writes a recorded session's script; false (and says why) when it cannot be written.
bool write_recording(const std::string& path, const Recorder& recorder, const hostsim::Host& host) {
    const std::string problem =
        write_file(path, recorder.script(host.variables(), host.screen_rows()));
    if (!problem.empty()) {
        std::cerr << "opkit-host: cannot write the recording " << printable(path) << ": "
                  << problem << "\n";
        return false;
    }
    std::cout << "opkit-host: the session is recorded in " << printable(path)
              << "; replay it with opkit-host run " << printable(path) << "\n";
    return true;
}

// Whether the recording may be written at `path`; says why not. Checked before the view
// opens, so that a path that cannot be written fails at once, and without emptying a file
// that is there: it is written when the session ends.
bool recording_path_ok(const std::string& path, const SessionOptions& options) {
    std::string problem = refuse_output(path, OutputKind::recording, {options.plugin_path});
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
        std::cerr << "opkit-host: cannot write the recording " << printable(path) << ": "
                  << problem << "\n";
        return false;
    }
    return true;
}

int run_shell(SessionOptions options, const std::string& record_path) {
    Session session(options);
    std::string error;
    if (!session.open(error)) {
        std::cerr << "opkit-host: cannot load the plug-in: " << error << "\n";
        return 2;
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
    if (!record_path.empty() && !write_recording(record_path, recorder, session.host())) {
        return 2;
    }
    return status;
}

} // namespace opkit_cli

#else

namespace opkit_cli {

bool shell_available() {
    return false;
}

bool recording_path_ok(const std::string&, const SessionOptions&) {
    return true;
}

int run_shell(SessionOptions, const std::string&) {
    return 2;
}

} // namespace opkit_cli

#endif
