// The HTML report's page: escaping, the links from the summary to the failures, the cells
// marked as differing, and the screens an expectation wanted.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "report_html.h"

using namespace opkit_cli;

namespace {

ScreenPicture blank_screen(int rows, int columns) {
    ScreenPicture p;
    p.rows = rows;
    p.columns = columns;
    p.cells.assign(static_cast<size_t>(rows),
                   std::vector<hostsim::Cell>(static_cast<size_t>(columns)));
    return p;
}

void write_row(ScreenPicture& p, int row, const std::string& text, uint8_t attribute = 0) {
    for (size_t c = 0; c < text.size() && c < p.cells[static_cast<size_t>(row)].size(); ++c) {
        p.cells[static_cast<size_t>(row)][c] = hostsim::Cell{text[c], attribute};
    }
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

// A run of two scripts: one with a failed row expectation, one stopped by an error.
HtmlRun sample_run() {
    HtmlRun run;
    run.plugin.description = "/opt/opkit.so (1234 bytes)";
    run.started = "2026-12-11T08:00:00";
    HtmlScript a;
    a.name = "form.txt";
    HtmlCall call;
    call.line = 3;
    call.function = "POPUPWN";
    call.record = "05<script>&";
    call.changes = {"3 = \"<b>&\""};
    call.screen = blank_screen(4, 12);
    write_row(*call.screen, 0, "<i>x</i> &", 1);
    call.screen->cursor_row = 2;
    call.screen->cursor_column = 1;
    a.steps.push_back(call);
    HtmlExpectation failed;
    failed.line = 4;
    failed.source = "expect screen 1 \"ABCDEF\"";
    failed.failure = "expected row 1 \"ABCDEF\", found \"ABXDYF\"";
    failed.found = blank_screen(4, 12);
    write_row(*failed.found, 1, "ABXDYF");
    failed.expected = expected_screen(ExpectScreen{1, -1, "ABCDEF"}, *failed.found, std::nullopt);
    a.steps.push_back(failed);
    a.calls = 1;
    a.failed = 1;
    HtmlScript b;
    b.name = "broken.txt";
    b.errors.push_back({"script error", 7, 3, "unknown directive \"<frob>\""});
    run.scripts = {a, b};
    return run;
}

} // namespace

TEST(HtmlReport, EscapesEveryTextFromInput) {
    EXPECT_EQ(html_text("<a href=\"x\">'&'</a>"),
              "&lt;a href=&quot;x&quot;&gt;&#39;&amp;&#39;&lt;/a&gt;");
    // Control bytes and bytes from 0x80 on are shown as codes: the page stays ASCII.
    EXPECT_EQ(html_text(std::string("a\x01\xe9", 3)), "a\\x01\\xE9");

    const std::string page = html_report(sample_run());
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    EXPECT_EQ(page.find("<frob>"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;"), std::string::npos); // the record, as text
    EXPECT_NE(page.find("&lt;b&gt;&amp;"), std::string::npos); // the variable changed
    EXPECT_NE(page.find("&lt;frob&gt;"), std::string::npos);   // the error message
    EXPECT_EQ(page.find("&amp;lt;"), std::string::npos);       // escaped once, not twice
    for (const unsigned char c : page) {
        ASSERT_LT(c, 0x80u);
    }
}

// Every value that follows `head` up to the next double quote, in the page's order.
std::vector<std::string> attribute_values(const std::string& page, const std::string& head) {
    std::vector<std::string> values;
    for (size_t at = page.find(head); at != std::string::npos; at = page.find(head, at)) {
        at += head.size();
        const size_t close = page.find('"', at);
        if (close == std::string::npos) {
            break;
        }
        if (close > at) {
            values.push_back(page.substr(at, close - at));
        }
        at = close;
    }
    return values;
}

TEST(HtmlReport, EveryLinkOfTheSummaryLeadsToItsFailure) {
    const std::string page = html_report(sample_run());
    std::set<std::string> ids;
    for (const std::string& id : attribute_values(page, "id=\"")) {
        EXPECT_TRUE(ids.insert(id).second) << "id used twice: " << id;
    }
    size_t links = 0;
    for (const std::string& target : attribute_values(page, "href=\"#")) {
        EXPECT_EQ(ids.count(target), 1u) << "a link to nowhere: #" << target;
        ++links;
    }
    EXPECT_GE(links, 2u);
    // The failure and the error each stand in an article of their own, failures first.
    const size_t failure = page.find("<article class=\"failure\" id=\"failure-1\"");
    const size_t error = page.find("<article class=\"error\" id=\"error-1\"");
    const size_t scripts = page.find("<section class=\"script\"");
    ASSERT_NE(failure, std::string::npos);
    ASSERT_NE(error, std::string::npos);
    EXPECT_LT(failure, scripts);
    EXPECT_LT(error, scripts);
    EXPECT_NE(page.find("broken.txt:7:3"), std::string::npos);
    EXPECT_NE(page.find("line 7, column 3"), std::string::npos);
}

TEST(HtmlReport, CountsTheRunInTheSummary) {
    const std::string page = html_report(sample_run());
    EXPECT_NE(page.find("id=\"count-scripts\">2<"), std::string::npos);
    EXPECT_NE(page.find("id=\"count-calls\">1<"), std::string::npos);
    EXPECT_NE(page.find("id=\"count-passed\">0<"), std::string::npos);
    EXPECT_NE(page.find("id=\"count-failed\"><span class=\"fail\">1<"), std::string::npos);
    EXPECT_NE(page.find("id=\"count-errors\"><span class=\"fail\">1<"), std::string::npos);
    EXPECT_NE(page.find("FAILED"), std::string::npos);

    HtmlRun passed;
    passed.scripts.push_back(HtmlScript{});
    passed.scripts.back().name = "ok.txt";
    passed.scripts.back().passed = 3;
    const std::string ok = html_report(passed);
    EXPECT_NE(ok.find("<p class=\"verdict pass\">passed</p>"), std::string::npos);
    EXPECT_EQ(ok.find("id=\"failures\""), std::string::npos);
    // A script failed for its warnings under --strict is no pass.
    passed.scripts.back().warned = true;
    EXPECT_NE(html_report(passed).find("verdict fail"), std::string::npos);
}

TEST(HtmlReport, MarksTheDifferingCellsInBothScreens) {
    const std::string page = html_report(sample_run());
    // Row 1 holds ABXDYF where ABCDEF was expected: columns 2 and 4 differ, on each side.
    EXPECT_NE(page.find("2 cells differ"), std::string::npos);
    EXPECT_EQ(count(page, "title=\"row 1, column 2: expected &#39;C&#39; attribute 0, found "
                          "&#39;X&#39; attribute 0\""),
              2u);
    EXPECT_EQ(count(page, "title=\"row 1, column 4: expected"), 2u);
    EXPECT_EQ(count(page, "class=\"d\""), 4u);
    // The screen after the call: its reverse-video run in one span, the markup escaped.
    EXPECT_NE(page.find("<span class=\"rev\">&lt;i&gt;x&lt;/i&gt; &amp;</span>"),
              std::string::npos);
    EXPECT_NE(page.find("  2 | <span class=\"cur\"> </span>"), std::string::npos);
    // The numbers of the rows that differ are marked; the others are not.
    EXPECT_EQ(count(page, "<span class=\"drow\">  1</span> |"), 2u);
    EXPECT_EQ(count(page, "class=\"drow\""), 2u);
}

TEST(HtmlReport, ExpectedScreens) {
    ScreenPicture found = blank_screen(3, 8);
    write_row(found, 0, "HEAD");
    write_row(found, 1, "abcdefgh");
    found.cursor_row = 1;
    found.cursor_column = 2;

    // A whole row: the text, blanks after it.
    auto row = expected_screen(ExpectScreen{1, -1, "abX"}, found, std::nullopt);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->cells[1][2].character, 'X');
    EXPECT_EQ(row->cells[1][3].character, ' ');
    EXPECT_EQ(row->cells[0][0].character, 'H'); // other rows as found
    EXPECT_EQ(row->cursor_row, -1);             // the cursor is not expected anywhere
    // A place in a row: only the text's cells, clipped at the screen's edge.
    auto at = expected_screen(ExpectScreen{1, 6, "XYZ"}, found, std::nullopt);
    ASSERT_TRUE(at);
    EXPECT_EQ(at->cells[1][5].character, 'f');
    EXPECT_EQ(at->cells[1][6].character, 'X');
    EXPECT_EQ(at->cells[1][7].character, 'Y');
    EXPECT_FALSE(expected_screen(ExpectScreen{3, -1, "x"}, found, std::nullopt));
    // Attributes over a run of cells.
    auto attr = expected_screen(ExpectAttribute{2, 6, 1, 5}, found, std::nullopt);
    ASSERT_TRUE(attr);
    EXPECT_EQ(attr->cells[2][5].attribute, 0);
    EXPECT_EQ(attr->cells[2][6].attribute, 1);
    EXPECT_EQ(attr->cells[2][7].attribute, 1);
    // A screen file, taller than the screen, with attribute rows.
    auto file = expected_screen(ExpectScreenFile{"x.screen", true}, found,
                                std::string("HEAD\nab\n\nlast\n~~ attributes ~~\n\n01\n"));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->rows, 4);
    EXPECT_EQ(file->cells[1][2].character, ' ');
    EXPECT_EQ(file->cells[1][1].attribute, 1);
    EXPECT_EQ(file->cells[3][0].character, 'l');
    // Attributes in the file are not compared unless the expectation says so.
    auto chars = expected_screen(ExpectScreenFile{"x.screen", false}, found,
                                 std::string("HEAD\nab\n~~ attributes ~~\n\n01\n"));
    ASSERT_TRUE(chars);
    EXPECT_EQ(chars->cells[1][1].attribute, 0);
    EXPECT_FALSE(expected_screen(ExpectScreenFile{"x.screen", false}, found, std::nullopt));
    EXPECT_FALSE(expected_screen(ExpectResult{1}, found, std::nullopt));
}

TEST(HtmlReport, KnowsItsOwnFiles) {
    EXPECT_TRUE(looks_like_html_report(html_report(sample_run()).substr(0, 4096)));
    EXPECT_TRUE(looks_like_html_report(html_unfinished("2026-12-11T08:00:00")));
    EXPECT_FALSE(looks_like_html_report("<!DOCTYPE html>\n<html><body>notes</body></html>\n"));
    EXPECT_FALSE(looks_like_html_report(""));
    EXPECT_NE(html_unfinished("now").find("unfinished"), std::string::npos);
}

TEST(HtmlReport, ReadsTheVersionResourceOfADll) {
    const auto dir = std::filesystem::temp_directory_path();
    const std::string dll = (dir / "opkit_report_version.dll").string();
    const std::string so = (dir / "opkit_report_version.so").string();
    // MZ, padding, then the fixed block: signature, structure version, 1.4 / 2.0.
    std::string bytes = "MZ";
    bytes.resize(64, '\0');
    const unsigned char block[] = {0xBD, 0x04, 0xEF, 0xFE, 0, 0, 1, 0, 4, 0, 1, 0, 0, 0, 2, 0};
    bytes.append(reinterpret_cast<const char*>(block), sizeof block);
    std::ofstream(dll, std::ios::binary) << bytes;
    EXPECT_EQ(plugin_file_version(dll), "1.4.2");
    // The same bytes in a file that is no DLL prove nothing.
    bytes[0] = '\x7f';
    std::ofstream(so, std::ios::binary) << bytes;
    EXPECT_EQ(plugin_file_version(so), "");
    EXPECT_EQ(plugin_file_version((dir / "opkit_no_such_file.dll").string()), "");
    std::remove(dll.c_str());
    std::remove(so.c_str());
}

TEST(HtmlReport, ARecordIsShownUnderItsColumnRuler) {
    HtmlRun run;
    run.scripts.push_back(HtmlScript{});
    HtmlCall call;
    call.function = "X";
    call.record = std::string("21DICOUNT\x01", 10);
    run.scripts.back().steps.push_back(call);
    const std::string page = html_report(run);
    EXPECT_NE(page.find("<span class=\"ruler\">          \n0123456789</span>\n21DICOUNT<span "
                        "class=\"ctl\" title=\"\\x01\">&middot;</span></pre>"),
              std::string::npos);
    EXPECT_NE(page.find("as written: <code>&quot;21DICOUNT\\x01&quot;</code>"), std::string::npos);
}
