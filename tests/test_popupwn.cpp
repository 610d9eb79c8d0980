// POPUPWN: the box drawn over the screen, the cells saved under it and written back, the box
// state across calls, messages and reloads, and popup_window itself.
#include "support.h"

#include "units.h"

#include <cstdio>
#include <string>
#include <tuple>

namespace opkit_test {
namespace {

const std::string border = "+----------------------+";
const std::string body = "|                      |";

std::string open_record(std::string_view rows, std::string_view frame = "N",
                        std::string_view letter = "C", int length = 23) {
    return make_record(length, "POPUPWN", {{10, letter}, {16, rows}, {24, frame}});
}

std::string close_record(std::string_view letter = "R", int length = 9) {
    return make_record(length, "POPUPWN", {{10, letter}});
}

class PopupTest : public PluginTest {
  protected:
    void SetUp() override {
        PluginTest::SetUp();
        // Every row of the screen carries its own text, and odd rows attribute 1, so that a
        // cell written back to the wrong place or without its attribute shows.
        for (int r = 0; r < host.options().rows; ++r) {
            char text[64];
            std::snprintf(text, sizeof text, "r%02d:abcdefghijklmnopqrstuvwxyz0123456789", r);
            host.write_screen(r, 0, text, static_cast<uint8_t>(r % 2));
        }
        original = screen();
        host.clear_trace();
    }
    void TearDown() override { EXPECT_EQ(host.stall_count(), 0) << "a notice waited unasked"; }

    std::vector<std::vector<hostsim::Cell>> screen() const {
        std::vector<std::vector<hostsim::Cell>> cells;
        for (int r = 0; r < host.options().rows; ++r) {
            cells.emplace_back();
            for (int c = 0; c < host.options().columns; ++c) {
                cells.back().push_back(host.cell(r, c));
            }
        }
        return cells;
    }
    // Columns 2-25 of a screen row: where the box stands.
    std::string box_part(int r) const { return row(r).substr(2, 24); }

    std::string notice_of(const std::string& record) {
        host.press_key('k');
        EXPECT_EQ(call(record), 0);
        EXPECT_EQ(host.keys_waiting(), 0U) << record << ": no notice took the key";
        return notice_code();
    }

    std::vector<std::vector<hostsim::Cell>> original;
};

TEST_F(PopupTest, OpenSavesEveryRowBeforeDrawingTheFrame) {
    EXPECT_EQ(call(open_record("03", "n")), 0);
    std::vector<std::string> expected;
    for (int r = 1; r <= 5; ++r) {
        expected.push_back("_VioReadCellStr(24, " + std::to_string(r) + ", 2, 0) = 0");
    }
    const auto line = [](const std::string& text, int r) {
        return "_VioWrtCharStrAtt(\"" + text + "\", 24, " + std::to_string(r) + ", 2, 0, 0) = 0";
    };
    expected.push_back(line(border, 1));
    for (int r = 2; r <= 4; ++r) {
        expected.push_back(line(body, r));
    }
    expected.push_back(line(border, 5));
    EXPECT_EQ(trace_text(), expected);

    EXPECT_EQ(row(1), "r0" + border + "wxyz0123456789");
    EXPECT_EQ(box_part(3), body);
    EXPECT_EQ(box_part(5), border);
    EXPECT_EQ(row(6).substr(0, 8), "r06:abcd") << "the box ends at row n+2";
    EXPECT_EQ(row(0).substr(0, 8), "r00:abcd");
}

TEST_F(PopupTest, CloseWritesBackExactlyTheSavedRows) {
    for (const char* rows : {"01", "07", "16"}) {
        const int n = std::stoi(rows);
        call(open_record(rows, "Y"));
        EXPECT_EQ(box_part(n + 2), border) << rows;
        host.clear_trace();
        EXPECT_EQ(call(close_record()), 0);
        std::vector<std::string> expected;
        for (int r = 1; r <= n + 2; ++r) {
            std::string saved;
            for (int c = 2; c <= 25; ++c) {
                saved += original[r][c].character;
            }
            expected.push_back("_VioWrtCellStr(\"" + saved + "\", 24, " + std::to_string(r) +
                               ", 2, 0) = 0");
        }
        EXPECT_EQ(trace_text(), expected) << rows;
        EXPECT_EQ(screen(), original) << rows << ": characters and attributes come back";
    }
}

TEST_F(PopupTest, FrameAttributeComesFromColumn24) {
    const std::pair<const char*, uint8_t> cases[] = {
        {"N", 0}, {"n", 0}, {" ", 1}, {"Y", 1}, {"7", 1}};
    for (const auto& [frame, attribute] : cases) {
        call(open_record("02", frame));
        for (int r = 1; r <= 4; ++r) {
            for (int c = 2; c <= 25; ++c) {
                ASSERT_EQ(host.cell(r, c).attribute, attribute) << frame << " " << r << "," << c;
            }
        }
        EXPECT_EQ(host.cell(2, 1).attribute, original[2][1].attribute);
        call(close_record());
    }
    EXPECT_EQ(screen(), original);
}

TEST_F(PopupTest, BodyRowsAreReadLikeAtoi) {
    for (const char* five : {"05", " 5", "5x", "+5"}) {
        call(open_record(five));
        EXPECT_EQ(box_part(7), border) << five;
        EXPECT_EQ(box_part(6), body) << five;
        call(close_record());
    }
    EXPECT_EQ(screen(), original);
}

TEST_F(PopupTest, BadRecordsDrawNothingAndKeepTheOpenBox) {
    call(open_record("02"));
    const auto with_box = screen();
    struct Case {
        std::string record;
        const char* code;
    };
    const Case cases[] = {
        {open_record("17"), "P3"},
        {open_record("00"), "P3"},
        {open_record("-1"), "P3"},
        {open_record("  "), "P3"},
        {open_record("ab"), "P3"},
        {open_record("05", "N", "C", 22), "P2"}, // every field in place, but too short a length
        {open_record("05", "N", "c", 5), "P2"},
        {close_record("R", 8), "P4"},
        {close_record("r", 0), "P4"},
    };
    for (const Case& c : cases) {
        host.clear_trace();
        EXPECT_EQ(notice_of(c.record), c.code) << c.record;
        EXPECT_EQ(host.count_of(Service::VioReadCellStr) + host.count_of(Service::VioWrtCellStr) +
                      host.count_of(Service::VioWrtCharStrAtt),
                  0U)
            << c.record;
        // The notice covers rows 0 and 1; everything below stays as the box left it.
        for (int r = 2; r < host.options().rows; ++r) {
            EXPECT_EQ(screen()[r], with_box[r]) << c.record << " row " << r;
        }
    }
    host.clear_trace();
    call(close_record());
    EXPECT_EQ(host.count_of(Service::VioWrtCellStr), 4U) << "the two-row box is still open";
    for (int r = 2; r < host.options().rows; ++r) {
        EXPECT_EQ(screen()[r], original[r]) << r;
    }
}

TEST_F(PopupTest, OtherActionLettersDoNothing) {
    call(open_record("02"));
    host.clear_trace();
    for (const char* letter : {"X", "x", " ", "O", "?"}) {
        EXPECT_EQ(call(open_record("02", "N", letter)), 0) << letter;
        EXPECT_EQ(call(close_record(letter)), 0) << letter;
    }
    EXPECT_TRUE(host.trace().empty()) << "no notice, no screen access";
    call(close_record("r"));
    EXPECT_EQ(screen(), original) << "the record letter X does not forget the box";
}

TEST_F(PopupTest, CloseWithNoBoxOpenWritesNothing) {
    // After load nothing has ever been saved: writing the save area would blank rows 1 and 2.
    EXPECT_EQ(call(close_record()), 0);
    EXPECT_TRUE(host.trace().empty());
    EXPECT_EQ(screen(), original);

    // After a close, a second close has nothing to give back either.
    call(open_record("04"));
    call(close_record());
    host.write_screen(1, 0, "drawn by the application since");
    const auto drawn = screen();
    host.clear_trace();
    call(close_record());
    EXPECT_EQ(host.count_of(Service::VioWrtCellStr), 0U);
    EXPECT_EQ(screen(), drawn);
}

TEST_F(PopupTest, MessagesZeroAndTwoForgetTheBoxButLeaveItOnScreen) {
    for (const int message_code : {0, 2}) {
        call(open_record("06"));
        const auto with_box = screen();
        host.clear_trace();
        EXPECT_EQ(message(message_code), 0);
        EXPECT_TRUE(host.trace().empty()) << message_code;
        EXPECT_EQ(screen(), with_box);
        // The stale save rows are not written over what the application shows now.
        call(close_record());
        EXPECT_EQ(host.count_of(Service::VioWrtCellStr), 0U) << message_code;
        EXPECT_EQ(screen(), with_box);
        for (int r = 1; r <= 8; ++r) {
            host.write_screen(r, 0, std::string(40, ' '));
        }
    }
}

TEST_F(PopupTest, SecondOpenSavesTheFirstBoxAndOneCloseBringsItBack) {
    call(open_record("08", "N"));
    const auto eight_box = screen();
    call(open_record("03", "Y"));
    EXPECT_EQ(box_part(5), border);
    EXPECT_EQ(host.cell(5, 2).attribute, 1);
    host.clear_trace();
    call(close_record());
    EXPECT_EQ(host.count_of(Service::VioWrtCellStr), 5U) << "rows 1 to 5 of the three-row box";
    EXPECT_EQ(screen(), eight_box) << "the whole eight-row box stands again";

    // The library holds no box now; the cells under the first box are lost.
    host.clear_trace();
    call(close_record());
    EXPECT_EQ(host.count_of(Service::VioWrtCellStr), 0U);
    EXPECT_EQ(screen(), eight_box);
}

TEST_F(PopupTest, ReloadStartsWithNoBox) {
    call(open_record("05"));
    const auto with_box = screen();
    plugin.unload();
    ASSERT_TRUE(plugin.load()) << plugin.error();
    host.clear_trace();
    call(close_record());
    EXPECT_TRUE(host.trace().empty());
    EXPECT_EQ(screen(), with_box);
}

TEST_F(PopupTest, RecordShorterThanItsLengthDigits) {
    // The body rows stand beyond the record's end: no digits, P3.
    EXPECT_EQ(notice_of(make_record(40, "POPUPWN", {{10, "C"}}, 11)), "P3");
    // The frame letter is missing: any character but N gives attribute 1.
    host.clear_trace();
    call(make_record(40, "POPUPWN", {{10, "C"}, {16, "02"}}, 18));
    EXPECT_EQ(box_part(4), border);
    EXPECT_EQ(host.cell(4, 2).attribute, 1);
    // A close needs nothing beyond its letter.
    call(make_record(40, "POPUPWN", {{10, "R"}}, 11));
    for (int r = 2; r < host.options().rows; ++r) {
        EXPECT_EQ(screen()[r], original[r]) << r;
    }
}

// popup_window of the library under test (tests/units.h), with the results and out values
// that its callers ignore.
class PopupWindowTest : public PopupTest {
  protected:
    void SetUp() override {
        PopupTest::SetUp();
        forget();
    }
    void TearDown() override {
        forget();
        PopupTest::TearDown();
    }
    void forget() { units().popup_window('X', 0, 0, &rows, &width, &top, &left); }
    uint8_t run(char action, uint8_t attribute, int body_rows) {
        return units().popup_window(action, attribute, body_rows, &rows, &width, &top, &left);
    }
    void mark() {
        rows = width = -7;
        top = left = 77;
    }
    bool marked() const { return rows == -7 && width == -7 && top == 77 && left == 77; }

    int rows = 0;
    int width = 0;
    uint8_t top = 0;
    uint8_t left = 0;
};

TEST_F(PopupWindowTest, OpenAndCloseReportTheInterior) {
    mark();
    EXPECT_EQ(run('c', 1, 40), 2) << "a row count above 16 is taken as 16";
    EXPECT_EQ(std::make_tuple(rows, width, top, left), std::make_tuple(16, 22, 2, 3));
    EXPECT_EQ(box_part(18), border);
    mark();
    EXPECT_EQ(run('r', 0, 0), 0);
    EXPECT_EQ(std::make_tuple(rows, width, top, left), std::make_tuple(0, 0, 0, 0));
    EXPECT_EQ(screen(), original);
}

TEST_F(PopupWindowTest, ForgetOtherLettersAndEmptyBoxesLeaveTheOutValues) {
    run('C', 0, 2);
    const auto with_box = screen();
    for (const char action : {'X', 'x', 'Q', '\0'}) {
        mark();
        EXPECT_EQ(run(action, 1, 5), 0) << action;
        EXPECT_TRUE(marked()) << action;
    }
    // A box without a body row is refused: nothing saved or drawn, the state unchanged.
    host.clear_trace();
    for (const int body_rows : {0, -1, -300}) {
        mark();
        EXPECT_EQ(run('C', 1, body_rows), 0) << body_rows;
        EXPECT_TRUE(marked()) << body_rows;
    }
    EXPECT_TRUE(host.trace().empty());
    EXPECT_EQ(screen(), with_box);
}

} // namespace
} // namespace opkit_test
