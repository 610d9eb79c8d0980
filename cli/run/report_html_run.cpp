// Filling the HTML page's model as the run goes: the calls with their screens, the screens an
// expectation wanted, and the plug-in's version.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "explain.h"
#include "locate.h"
#include "output.h"
#include "report_html.h"
#include "screen_file.h"

namespace opkit_cli {

namespace {

void put_text(ScreenPicture& p, int row, int column, const std::string& text, bool pad) {
    auto& cells = p.cells[static_cast<size_t>(row)];
    const size_t end = pad ? cells.size() : std::min(cells.size(), column + text.size());
    for (size_t c = static_cast<size_t>(column), i = 0; c < end; ++c, ++i) {
        cells[c].character = i < text.size() ? text[i] : ' ';
    }
}

// The screen a screen file holds, over the screen found: characters from the file (blanks
// where its rows end), attributes from it when they are compared, else the ones found.
ScreenPicture file_screen(const std::string& text, const ScreenPicture& found, bool attributes) {
    std::vector<std::string> rows;
    std::vector<std::string> digits;
    std::istringstream in(text);
    bool in_attributes = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.rfind("~~ attributes ~~", 0) == 0) {
            in_attributes = true;
            continue;
        }
        (in_attributes ? digits : rows).push_back(line);
    }
    ScreenPicture p = found;
    p.cursor_row = -1; // a file holds no cursor
    p.rows = std::max(p.rows, static_cast<int>(rows.size()));
    for (const std::string& row : rows) {
        p.columns = std::max(p.columns, static_cast<int>(row.size()));
    }
    p.cells.resize(static_cast<size_t>(p.rows));
    for (size_t r = 0; r < p.cells.size(); ++r) {
        p.cells[r].resize(static_cast<size_t>(p.columns));
        const std::string& chars = r < rows.size() ? rows[r] : std::string();
        const std::string& marks = r < digits.size() ? digits[r] : std::string();
        for (size_t c = 0; c < p.cells[r].size(); ++c) {
            p.cells[r][c].character = c < chars.size() ? chars[c] : ' ';
            if (attributes) {
                p.cells[r][c].attribute =
                    static_cast<uint8_t>(c < marks.size() ? marks[c] - '0' : 0);
            }
        }
    }
    return p;
}

uint32_t little_endian32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    }
    return value;
}

bool same_screen(const ScreenPicture& a, const ScreenPicture& b) {
    return a.rows == b.rows && a.columns == b.columns && a.cells == b.cells &&
           a.cursor_row == b.cursor_row && a.cursor_column == b.cursor_column;
}

} // namespace

std::optional<ScreenPicture> expected_screen(const Expectation& expectation,
                                             const ScreenPicture& found,
                                             const std::optional<std::string>& screen_file) {
    if (const auto* file = std::get_if<ExpectScreenFile>(&expectation)) {
        if (!screen_file) {
            return std::nullopt;
        }
        return file_screen(*screen_file, found, file->attributes);
    }
    ScreenPicture p = found;
    p.cursor_row = -1; // the expected screen says nothing of the cursor
    if (const auto* row = std::get_if<ExpectScreen>(&expectation)) {
        if (row->row < 0 || row->row >= p.rows) {
            return std::nullopt;
        }
        put_text(p, row->row, std::max(row->column, 0), row->text, row->column < 0);
        return p;
    }
    if (const auto* a = std::get_if<ExpectAttribute>(&expectation)) {
        if (a->row < 0 || a->row >= p.rows) {
            return std::nullopt;
        }
        auto& cells = p.cells[static_cast<size_t>(a->row)];
        for (int c = std::max(a->column, 0); c < a->column + a->cells && c < p.columns; ++c) {
            cells[static_cast<size_t>(c)].attribute = static_cast<uint8_t>(a->attribute);
        }
        return p;
    }
    return std::nullopt;
}

std::string plugin_file_version(const std::string& path) {
    // A Windows DLL's version resource holds a fixed block that starts with the signature
    // 0xFEEF04BD on a 4-byte boundary; its next words are the structure's version and the
    // file version, most significant half first.
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(path, error);
    std::string bytes;
    if (error ||
        !read_file_head(path, static_cast<size_t>(std::min<uintmax_t>(size, 64u << 20)), bytes)
             .empty() ||
        bytes.rfind("MZ", 0) != 0) {
        return {};
    }
    for (size_t at = 0; at + 16 <= bytes.size(); at += 4) {
        if (little_endian32(bytes, at) != 0xFEEF04BDu) {
            continue;
        }
        const uint32_t high = little_endian32(bytes, at + 8);
        const uint32_t low = little_endian32(bytes, at + 12);
        std::string version = std::to_string(high >> 16) + "." + std::to_string(high & 0xffff) +
                              "." + std::to_string(low >> 16);
        return (low & 0xffff) != 0 ? version + "." + std::to_string(low & 0xffff) : version;
    }
    return {};
}

HtmlRecorder::HtmlRecorder(std::string path, HtmlPlugin plugin, std::string started)
    : path_(std::move(path)) {
    run_.plugin = std::move(plugin);
    run_.started = std::move(started);
    run_.tool_version = std::string("opkit-host ") + tool_version();
    started_ = std::chrono::steady_clock::now();
}

std::string HtmlRecorder::start() {
    return write_file(path_, html_unfinished(run_.started));
}

void HtmlRecorder::begin_script(const std::string& name) {
    run_.scripts.push_back(HtmlScript{});
    run_.scripts.back().name = name;
    before_.reset();
    script_started_ = std::chrono::steady_clock::now();
}

HtmlScript& HtmlRecorder::current() {
    if (run_.scripts.empty()) {
        begin_script("(no script)");
    }
    return run_.scripts.back();
}

void HtmlRecorder::keep(HtmlStep step, bool failure) {
    HtmlScript& s = current();
    if (failure || s.steps.size() < max_html_steps) {
        s.steps.push_back(std::move(step));
    } else {
        ++s.steps_left_out;
    }
}

void HtmlRecorder::before_call(const hostsim::Host& host) {
    before_ = take_picture(host);
}

void HtmlRecorder::call(const Directive& d, const CallReport& report, const hostsim::Host& host) {
    HtmlCall c;
    c.line = d.line;
    if (const auto* call = std::get_if<Call>(&d.action)) {
        c.record = call->record;
        const Analysis a = analyse(call->record);
        c.function = a.layout != nullptr ? a.layout->name : "unknown";
    } else {
        c.message = std::get<Message>(d.action).code;
    }
    c.result = report.result;
    c.notice = report.notice;
    c.changes = report.changes;
    c.clock = hostsim::format_date_time(host.now());
    c.elapsed_ms = report.elapsed_ms;
    ScreenPicture after = take_picture(host);
    if (!before_ || !same_screen(*before_, after)) {
        c.screen = std::move(after);
    }
    before_.reset();
    ++current().calls;
    keep(std::move(c), false);
}

void HtmlRecorder::expectation(const CheckOutcome& outcome, const Expectation* expectation,
                               const std::string& screen_file, const hostsim::Host& host) {
    HtmlExpectation e;
    e.line = outcome.line;
    e.source = outcome.source;
    e.failure = outcome.failure;
    e.call = outcome.call;
    e.unexpected_notice = outcome.unexpected_notice;
    if (outcome.failure && expectation != nullptr) {
        const ScreenPicture found = take_picture(host);
        std::optional<std::string> file;
        std::string text;
        if (!screen_file.empty() &&
            read_file_head(screen_file, max_screen_file_bytes + 1, text).empty() &&
            text.size() <= max_screen_file_bytes && is_screen_picture(text)) {
            file = std::move(text);
        }
        if (auto wanted = expected_screen(*expectation, found, file)) {
            e.expected = std::move(wanted);
            e.found = found;
            const auto* f = std::get_if<ExpectScreenFile>(expectation);
            e.attributes = std::holds_alternative<ExpectAttribute>(*expectation) ||
                           (f != nullptr && f->attributes);
        }
    }
    HtmlScript& s = current();
    ++(outcome.failure ? s.failed : s.passed);
    keep(std::move(e), outcome.failure.has_value());
}

double HtmlRecorder::script_seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - script_started_)
        .count();
}

void HtmlRecorder::script_error(const ScriptFailure& failure) {
    HtmlScript& s = current();
    s.errors.push_back(failure);
    s.seconds = script_seconds();
}

void HtmlRecorder::end_script(const std::vector<std::string>& warnings, bool warned) {
    HtmlScript& s = current();
    s.warnings = warnings;
    s.warned = warned;
    s.seconds = script_seconds();
}

void HtmlRecorder::not_run(const std::string& name, const std::vector<ScriptFailure>& errors) {
    HtmlScript s;
    s.name = name;
    s.errors = errors;
    s.run = !errors.empty();
    run_.scripts.push_back(std::move(s));
}

std::string HtmlRecorder::write() {
    run_.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    return write_file(path_, html_report(run_));
}

} // namespace opkit_cli
