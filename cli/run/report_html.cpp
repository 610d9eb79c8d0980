// The run's HTML page: its model filled as the run goes, and the page written from it.
#include "report_html.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "explain.h"
#include "output.h"
#include "screen_file.h"

namespace opkit_cli {

namespace {

constexpr const char* page_style = R"CSS(
body{font-family:system-ui,sans-serif;margin:1.5em;color:#1d1d1f;background:#fff}
h1{font-size:1.4em}h2{font-size:1.2em;border-bottom:1px solid #ccc;padding-bottom:.2em}
h3{font-size:1.05em;margin:.3em 0}
pre,code{font-family:ui-monospace,"DejaVu Sans Mono",monospace;font-size:13px}
.verdict{font-weight:bold;font-size:1.2em}.pass{color:#17702a}.fail{color:#c0162b}
table{border-collapse:collapse}td,th{padding:.15em .6em;text-align:left;vertical-align:top}
table.totals th{font-weight:normal;color:#555}
table.calls{margin:.4em 0}table.calls tr{border-top:1px solid #e4e4e4}
table.calls tr.failed{background:#fff0f0}
article.failure,article.error{border:2px solid #c0162b;border-radius:6px;padding:.4em .8em;margin:1em 0}
article.failure:target,article.error:target{box-shadow:0 0 0 4px #f5b7bf}
pre.message{background:#fafafa;border-left:3px solid #c0162b;padding:.3em .6em;white-space:pre-wrap}
.compare{display:flex;flex-wrap:wrap;gap:1.5em}
figure{margin:.3em 0}figcaption{font-weight:bold;margin-bottom:.2em}
pre.grid,pre.record{line-height:1.25;margin:0;padding:.3em;background:#f6f6f6;border:1px solid #ddd}
.ruler{color:#999}
.rev{background:#1d1d1f;color:#fff}
.attr{text-decoration:underline dotted}
.cur{outline:2px solid #1565c0;outline-offset:-2px}
.expected .d{background:#9be39b;color:#000;font-weight:bold}
.found .d{background:#ff8a8a;color:#000;font-weight:bold}
.ctl{color:#a05a00}.drow{color:#c0162b;font-weight:bold}
details{margin:.2em 0}summary{cursor:pointer;color:#1565c0}
.muted{color:#777}
)CSS";

// "1.250 s"
std::string seconds(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f s", value);
    return text;
}

std::string plural(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// A screen or record byte as one cell of a grid: printable ASCII as itself, anything else as a
// dot marked with its code.
std::string cell_text(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7f) {
        return html_text(std::string(1, c));
    }
    char code[8];
    std::snprintf(code, sizeof code, "\\x%02X", u);
    return std::string("<span class=\"ctl\" title=\"") + code + "\">&middot;</span>";
}

// "   0123456789" lines over a grid `width` columns wide, indented by `margin` blanks.
std::string ruler_html(size_t width, size_t margin) {
    const Ruler r = column_ruler(width);
    const std::string pad(margin, ' ');
    return "<span class=\"ruler\">" + pad + r.tens + "\n" + pad + r.units + "</span>\n";
}

hostsim::Cell cell_at(const ScreenPicture& p, int row, int column) {
    if (row < 0 || row >= p.rows || column < 0 || column >= p.columns ||
        static_cast<size_t>(row) >= p.cells.size() ||
        static_cast<size_t>(column) >= p.cells[static_cast<size_t>(row)].size()) {
        return hostsim::Cell{};
    }
    return p.cells[static_cast<size_t>(row)][static_cast<size_t>(column)];
}

std::string shown_cell(const hostsim::Cell& cell) {
    const auto u = static_cast<unsigned char>(cell.character);
    std::string text = u >= 0x20 && u < 0x7f ? std::string(1, cell.character)
                                             : printable(std::string(1, cell.character));
    return "'" + text + "' attribute " + std::to_string(cell.attribute);
}

// The classes of one cell: reverse video, another attribute, the cursor, a difference.
std::string cell_classes(const ScreenPicture& p, const hostsim::Cell& cell, int row, int column,
                         bool differs) {
    std::string classes;
    if (cell.attribute == 1) {
        classes += " rev";
    } else if (cell.attribute != 0) {
        classes += " attr";
    }
    if (row == p.cursor_row && column == p.cursor_column) {
        classes += " cur";
    }
    if (differs) {
        classes += " d";
    }
    return classes.empty() ? classes : classes.substr(1);
}

// One row of a grid; runs of cells with the same classes share a span, except differing cells,
// which have one each with what the other screen holds there.
std::string grid_row(const ScreenPicture& p, const ScreenPicture* other, bool expected_side,
                     int row, size_t& differing) {
    const size_t differing_before = differing;
    std::string out;
    std::string open; // the classes of the span that is open
    for (int c = 0; c < p.columns; ++c) {
        const hostsim::Cell cell = cell_at(p, row, c);
        const bool differs = other != nullptr && !(cell == cell_at(*other, row, c));
        const std::string classes = cell_classes(p, cell, row, c, differs);
        if (!open.empty() && (classes != open || differs)) {
            out += "</span>";
            open.clear();
        }
        if (differs) {
            ++differing;
            const hostsim::Cell there = cell_at(*other, row, c);
            const hostsim::Cell& want = expected_side ? cell : there;
            const hostsim::Cell& got = expected_side ? there : cell;
            out += "<span class=\"" + classes + "\" title=\"row " + std::to_string(row) +
                   ", column " + std::to_string(c) + ": expected " + html_text(shown_cell(want)) +
                   ", found " + html_text(shown_cell(got)) + "\">";
            open = classes;
        } else if (!classes.empty() && open.empty()) {
            out += "<span class=\"" + classes + "\">";
            open = classes;
        }
        out += cell_text(cell.character);
    }
    // The number of a row that differs is marked too, so that the eye finds the row first.
    char number[16];
    std::snprintf(number, sizeof number, "%3d", row);
    const std::string head = differing > differing_before
                                 ? std::string("<span class=\"drow\">") + number + "</span> |"
                                 : std::string(number) + " |";
    return head + out + (open.empty() ? "" : "</span>") + "|\n";
}

// A screen as a character grid with a column ruler and row numbers. With `other`, the cells
// that differ from it are marked; `differing` counts them.
std::string grid_html(const ScreenPicture& p, const ScreenPicture* other, bool expected_side,
                      size_t& differing) {
    std::string out = "<pre class=\"grid\">" + ruler_html(static_cast<size_t>(p.columns), 5);
    for (int r = 0; r < p.rows; ++r) {
        out += grid_row(p, other, expected_side, r, differing);
    }
    out += "</pre>";
    if (p.cursor_row >= 0 && p.cursor_row < p.rows) {
        out += "<div class=\"muted\">cursor at row " + std::to_string(p.cursor_row) + ", column " +
               std::to_string(p.cursor_column) + "</div>";
    }
    return out;
}

// The record under a column ruler, one byte a column.
std::string record_html(const std::string& record) {
    std::string out = "<pre class=\"record\">" + ruler_html(record.size(), 0);
    bool plain = true;
    for (const char c : record) {
        out += cell_text(c);
        const auto u = static_cast<unsigned char>(c);
        plain = plain && u >= 0x20 && u < 0x7f;
    }
    out += "</pre>";
    if (!plain) {
        out += "<div class=\"muted\">as written: <code>" + html_text(quoted_text(record)) +
               "</code></div>";
    }
    return out;
}

// Where the report's failures stand: an id for each, in the order of the page.
struct FailureIds {
    std::vector<std::vector<std::string>> steps;  // per script, per step: "" or an id
    std::vector<std::vector<std::string>> errors; // per script, per error
};

FailureIds number_failures(const HtmlRun& run) {
    FailureIds ids;
    int failures = 0;
    int errors = 0;
    for (const HtmlScript& s : run.scripts) {
        ids.steps.emplace_back();
        for (const HtmlStep& step : s.steps) {
            const auto* e = std::get_if<HtmlExpectation>(&step);
            ids.steps.back().push_back(e != nullptr && e->failure
                                           ? "failure-" + std::to_string(++failures)
                                           : std::string());
        }
        ids.errors.emplace_back();
        for (size_t i = 0; i < s.errors.size(); ++i) {
            ids.errors.back().push_back("error-" + std::to_string(++errors));
        }
    }
    return ids;
}

struct Totals {
    int calls = 0;
    int passed = 0;
    int failed = 0;
    size_t errors = 0;
    int warned = 0;
    bool ok() const { return failed == 0 && errors == 0 && warned == 0; }
};

Totals totals_of(const HtmlRun& run) {
    Totals t;
    for (const HtmlScript& s : run.scripts) {
        t.calls += s.calls;
        t.passed += s.passed;
        t.failed += s.failed;
        t.errors += s.errors.size();
        t.warned += s.warned ? 1 : 0;
    }
    return t;
}

std::string place(const std::string& script, int line, int column = 0) {
    return script + (line > 0 ? ":" + std::to_string(line) : "") +
           (line > 0 && column > 0 ? ":" + std::to_string(column) : "");
}

std::string totals_html(const HtmlRun& run, const Totals& t) {
    auto row = [](const char* name, const char* id, const std::string& value) {
        return std::string("<tr><th>") + name + "</th><td id=\"" + id + "\">" + value +
               "</td></tr>\n";
    };
    std::string out = "<table class=\"totals\">\n";
    out += row("scripts", "count-scripts", std::to_string(run.scripts.size()));
    out += row("calls", "count-calls", std::to_string(t.calls));
    out += row("expectations passed", "count-passed", std::to_string(t.passed));
    out += row("expectations failed", "count-failed",
               t.failed > 0 ? "<span class=\"fail\">" + std::to_string(t.failed) + "</span>" : "0");
    out += row("script errors", "count-errors",
               t.errors > 0 ? "<span class=\"fail\">" + std::to_string(t.errors) + "</span>" : "0");
    if (t.warned > 0) {
        out += row("failed for warnings (--strict)", "count-warned", std::to_string(t.warned));
    }
    out += row("run time", "run-time",
               seconds(run.seconds) + ", started " + html_text(run.started) + " UTC");
    out += row("plug-in", "plugin", html_text(run.plugin.description));
    out += row("plug-in version", "plugin-version",
               run.plugin.version.empty() ? "none recorded in the file"
                                          : html_text(run.plugin.version));
    out += row("opkit-host", "tool-version", html_text(run.tool_version));
    return out + "</table>\n";
}

// The links from the summary to each failure and error.
std::string failure_links(const HtmlRun& run, const FailureIds& ids) {
    std::string out;
    for (size_t s = 0; s < run.scripts.size(); ++s) {
        const HtmlScript& script = run.scripts[s];
        for (size_t i = 0; i < script.steps.size(); ++i) {
            if (ids.steps[s][i].empty()) {
                continue;
            }
            const auto& e = std::get<HtmlExpectation>(script.steps[i]);
            out += "<li><a href=\"#" + ids.steps[s][i] + "\">" +
                   html_text(place(script.name, e.line)) + "</a> " + html_text(e.source) +
                   "</li>\n";
        }
        for (size_t i = 0; i < script.errors.size(); ++i) {
            const ScriptFailure& f = script.errors[i];
            out += "<li><a href=\"#" + ids.errors[s][i] + "\">" +
                   html_text(place(script.name, f.line, f.column)) + "</a> " + html_text(f.kind) +
                   ": " + html_text(f.message) + "</li>\n";
        }
    }
    return out.empty() ? out : "<ul id=\"failure-links\">\n" + out + "</ul>\n";
}

std::string script_status(const HtmlScript& s) {
    if (!s.errors.empty()) {
        return "<span class=\"fail\">error</span>";
    }
    if (!s.run) {
        return "<span class=\"muted\">not run</span>";
    }
    if (s.failed > 0 || s.warned) {
        return "<span class=\"fail\">FAILED</span>";
    }
    return "<span class=\"pass\">passed</span>";
}

std::string summary_html(const HtmlRun& run, const FailureIds& ids) {
    const Totals t = totals_of(run);
    std::string out = "<section id=\"summary\">\n<h2>Summary</h2>\n";
    out += std::string("<p class=\"verdict ") + (t.ok() ? "pass\">passed" : "fail\">FAILED") +
           "</p>\n" + totals_html(run, t) + failure_links(run, ids);
    out += "<table class=\"scripts\"><tr><th>script</th><th>calls</th><th>passed</th>"
           "<th>failed</th><th>time</th><th></th></tr>\n";
    for (size_t i = 0; i < run.scripts.size(); ++i) {
        const HtmlScript& s = run.scripts[i];
        out += "<tr><td><a href=\"#script-" + std::to_string(i + 1) + "\">" + html_text(s.name) +
               "</a></td><td>" + std::to_string(s.calls) + "</td><td>" + std::to_string(s.passed) +
               "</td><td>" + std::to_string(s.failed) + "</td><td>" + seconds(s.seconds) +
               "</td><td>" + script_status(s) + "</td></tr>\n";
    }
    return out + "</table>\n</section>\n";
}

std::string compare_html(const HtmlExpectation& e) {
    size_t expected_marks = 0;
    size_t found_marks = 0;
    const std::string want = grid_html(*e.expected, &*e.found, true, expected_marks);
    const std::string got = grid_html(*e.found, &*e.expected, false, found_marks);
    return "<p class=\"cells-differ\">" + plural(found_marks, "cell differs", "cells differ") +
           (e.attributes ? " (characters and attributes compared)" : "") +
           ", marked in both screens</p>\n<div class=\"compare\">"
           "<figure class=\"expected\"><figcaption>expected</figcaption>" +
           want + "</figure><figure class=\"found\"><figcaption>found</figcaption>" + got +
           "</figure></div>\n";
}

std::string failure_article(const std::string& script, const HtmlExpectation& e,
                            const std::string& id) {
    std::string out = "<article class=\"failure\" id=\"" + id + "\">\n<h3>" +
                      html_text(place(script, e.line)) + " <span class=\"fail\">FAIL</span> " +
                      html_text(e.source) + "</h3>\n";
    if (!e.call.empty()) {
        out += "<p>after " + html_text(e.call) + "</p>\n";
    }
    out += "<pre class=\"message\">" + html_text(e.failure.value_or("")) + "</pre>\n";
    if (e.expected && e.found) {
        out += compare_html(e);
    }
    return out + "</article>\n";
}

std::string failures_html(const HtmlRun& run, const FailureIds& ids) {
    std::string out;
    for (size_t s = 0; s < run.scripts.size(); ++s) {
        const HtmlScript& script = run.scripts[s];
        for (size_t i = 0; i < script.steps.size(); ++i) {
            if (!ids.steps[s][i].empty()) {
                out += failure_article(script.name, std::get<HtmlExpectation>(script.steps[i]),
                                       ids.steps[s][i]);
            }
        }
        for (size_t i = 0; i < script.errors.size(); ++i) {
            const ScriptFailure& f = script.errors[i];
            out += "<article class=\"error\" id=\"" + ids.errors[s][i] + "\">\n<h3>" +
                   html_text(place(script.name, f.line, f.column)) + " <span class=\"fail\">" +
                   html_text(f.kind) + "</span></h3>\n<pre class=\"message\">" +
                   html_text(f.message) + "</pre>\n" +
                   (f.line > 0 ? "<p>line " + std::to_string(f.line) +
                                     (f.column > 0 ? ", column " + std::to_string(f.column) : "") +
                                     "</p>\n"
                               : "") +
                   "</article>\n";
        }
    }
    return out.empty() ? out
                       : "<section id=\"failures\">\n<h2>Failures</h2>\n" + out + "</section>\n";
}

std::string call_row(const HtmlCall& c) {
    std::string what = c.record.empty() && c.function.empty()
                           ? "message " + std::to_string(c.message)
                           : html_text(c.function);
    std::string changes;
    for (const std::string& change : c.changes) {
        changes += (changes.empty() ? "" : "<br>") + html_text(change);
    }
    std::string notice = c.notice.empty()       ? ""
                         : c.notice == "append" ? append_title()
                                                : "notice " + c.notice;
    std::string out =
        "<tr class=\"call\"><td>" + std::to_string(c.line) + "</td><td>" + what + "</td><td>" +
        (c.record.empty() ? "" : record_html(c.record)) + "</td><td class=\"result\">" +
        std::to_string(c.result) + "</td><td>" + changes + "</td><td>" + html_text(notice) +
        "</td><td>" + html_text(c.clock) +
        (c.elapsed_ms > 0 ? "<br><span class=\"muted\">took " +
                                seconds(static_cast<double>(c.elapsed_ms) / 1000) + "</span>"
                          : "") +
        "</td></tr>\n";
    if (c.screen) {
        size_t none = 0;
        out += "<tr class=\"screen\"><td></td><td colspan=\"6\"><details><summary>screen after "
               "line " +
               std::to_string(c.line) + "</summary>" + grid_html(*c.screen, nullptr, false, none) +
               "</details></td></tr>\n";
    }
    return out;
}

std::string expectation_row(const HtmlExpectation& e, const std::string& id) {
    const std::string outcome = e.failure ? "<a class=\"fail\" href=\"#" + id + "\">FAIL</a>"
                                          : "<span class=\"pass\">ok</span>";
    return std::string("<tr class=\"expectation") + (e.failure ? " failed" : "") + "\"><td>" +
           std::to_string(e.line) + "</td><td>" + outcome + "</td><td colspan=\"5\"><code>" +
           html_text(e.source) + "</code></td></tr>\n";
}

std::string script_html(const HtmlScript& s, size_t index, const std::vector<std::string>& ids) {
    std::string out = "<section class=\"script\" id=\"script-" + std::to_string(index + 1) +
                      "\">\n<h2>" + html_text(s.name) + " " + script_status(s) + "</h2>\n<p>" +
                      plural(static_cast<size_t>(s.calls), "call", "calls") + ", " +
                      std::to_string(s.passed) + " passed, " + std::to_string(s.failed) +
                      " failed, " + seconds(s.seconds) + "</p>\n";
    for (const std::string& w : s.warnings) {
        out += "<p class=\"warning\">warning: " + html_text(w) + "</p>\n";
    }
    if (s.steps.empty()) {
        return out + "</section>\n";
    }
    out += "<table class=\"calls\"><tr><th>line</th><th>function</th><th>record</th>"
           "<th>result</th><th>variables changed</th><th>notice</th><th>clock</th></tr>\n";
    for (size_t i = 0; i < s.steps.size(); ++i) {
        if (const auto* c = std::get_if<HtmlCall>(&s.steps[i])) {
            out += call_row(*c);
        } else {
            out += expectation_row(std::get<HtmlExpectation>(s.steps[i]), ids[i]);
        }
    }
    out += "</table>\n";
    if (s.steps_left_out > 0) {
        out += "<p class=\"muted\">" +
               plural(s.steps_left_out, "more passing step", "more passing steps") +
               " not listed (a script lists at most " + std::to_string(max_html_steps) + ")</p>\n";
    }
    return out + "</section>\n";
}

std::string page(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n" + std::string(html_report_marker) +
           "\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"generator\" content=\"opkit-host run --html\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
           title + "</title>\n<style>" + page_style + "</style>\n</head>\n<body>\n" + body +
           "</body>\n</html>\n";
}

} // namespace

bool looks_like_html_report(std::string_view head) {
    return head.rfind("<!DOCTYPE html>", 0) == 0 &&
           head.find(html_report_marker) != std::string_view::npos;
}

const OutputKind html_output{"HTML report", 4096,
                             [](const std::string& head) { return looks_like_html_report(head); }};

std::string html_text(std::string_view text) {
    std::string out;
    for (const char c : printable(text, true)) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string html_report(const HtmlRun& run) {
    const FailureIds ids = number_failures(run);
    const Totals t = totals_of(run);
    const std::string title =
        std::string("opkit-host run: ") +
        (t.ok() ? "passed"
                : "FAILED (" + std::to_string(t.failed) + " failed, " +
                      plural(t.errors, "script error", "script errors") + ")");
    std::string body =
        "<h1>" + title + "</h1>\n" + summary_html(run, ids) + failures_html(run, ids);
    for (size_t i = 0; i < run.scripts.size(); ++i) {
        body += script_html(run.scripts[i], i, ids.steps[i]);
    }
    return page(title, body);
}

std::string html_unfinished(const std::string& started) {
    return page("opkit-host run: unfinished",
                "<h1>opkit-host run: unfinished</h1>\n<p class=\"verdict fail\">The run that "
                "started " +
                    html_text(started) +
                    " UTC has not ended: it is under way, or it was stopped before it could "
                    "write its report.</p>\n");
}

} // namespace opkit_cli
