// TM_DATE: the record checks and their codes, the date and time texts for both styles and
// hour formats, one moment for both texts, refused writes, and short host clock texts.
#include "support.h"

namespace opkit_test {
namespace {

using namespace std::string_literals;

std::string tm_record(std::string_view hours, std::string_view time_var, std::string_view style,
                      std::string_view date_var, int length = 52) {
    return make_record(length, "TM_DATE",
                       {{10, hours}, {30, time_var}, {35, style}, {52, date_var}});
}

struct TmDateTest : PluginTest {
    TmDateTest() { host.set_clock({2026, 5, 12, 14, 30, 5, 0}); }
};

TEST_F(TmDateTest, ReadsDateTimeDateThenWritesBoth) {
    EXPECT_EQ(call(tm_record("24", "03", "AMER", "04")), 0);
    const std::vector<std::string> expected{
        "_IdleManager(0) = 0",
        "_RtcGetAsciiDate(\"051226\", 1) = 0",
        "_IdleManager(0) = 0",
        "_RtcGetAsciiTime(\"143005\", 2) = 0",
        "_RtcGetAsciiDate(\"051226\", 1) = 0",
        "_WriteUserVariable(\"05/12/26\", 4) = 0",
        "_WriteUserVariable(\"14:30:05\", 3) = 0",
    };
    EXPECT_EQ(trace_text(), expected);
}

TEST_F(TmDateTest, StylesAndHourFormatsArrangeTheHostDigits) {
    host.set_clock_text(Service::RtcGetAsciiDate, 1, "120526");
    host.set_clock_text(Service::RtcGetAsciiTime, 2, "143005");
    host.set_clock_text(Service::RtcGetAsciiTime, 1, "023005PM");
    const struct {
        const char* hours;
        const char* style;
        const char* date;
        const char* time;
    } cases[] = {
        {"24", "AMER", "12/05/26", "14:30:05"},
        {"12", "Euro", "05.12.26", "02:30:05 PM"},
        {"24", "amEr", "12/05/26", "14:30:05"},
    };
    for (const auto& c : cases) {
        call(tm_record(c.hours, " 9", c.style, "11"));
        EXPECT_EQ(host.variable(11), c.date) << c.style;
        EXPECT_EQ(host.variable(9), c.time) << c.hours;
    }
    call(tm_record("12", "07", "EURO", "07"));
    EXPECT_EQ(host.variable(7), "02:30:05 PM") << "the time is written second";
}

TEST_F(TmDateTest, RecordFaultsWriteNothing) {
    const struct {
        std::string record;
        const char* code;
        size_t idle_calls;
    } cases[] = {
        {tm_record("24", "03", "AMER", "04", 51), "E1", 0},
        {tm_record("24", "00", "AMER", "04"), "E2", 0},
        {tm_record("24", "20", "AMER", "04"), "E2", 0},
        {tm_record("24", "03", "AMER", "20"), "E3", 0},
        {tm_record("24", "03", "AMER", " 0"), "E3", 0},
        {tm_record("13", "03", "AMER", "04"), "E4", 1},
        {tm_record("  ", "03", "AMER", "04"), "E4", 1},
        {tm_record("24", "03", "AMEX", "04"), "E5", 1},
        {tm_record("24", "03", "EUR ", "04"), "E5", 1},
    };
    for (const auto& c : cases) {
        host.clear_trace();
        host.press_key('k');
        EXPECT_EQ(call(c.record), 0);
        EXPECT_EQ(notice_code(), c.code) << c.record;
        EXPECT_EQ(host.count_of(Service::IdleManager), c.idle_calls) << c.record;
        EXPECT_EQ(host.count_of(Service::RtcGetAsciiDate), 0U);
        EXPECT_EQ(host.count_of(Service::WriteUserVariable), 0U);
    }
    EXPECT_TRUE(host.variables().empty());
}

TEST_F(TmDateTest, RefusedDateWriteShowsTheNoticeAndTheTimeIsStillWritten) {
    host.force_result(Service::WriteUserVariable, 5);
    host.press_key('k');
    EXPECT_EQ(call(tm_record("24", "03", "AMER", "04")), 0);
    EXPECT_EQ(row(0).substr(0, 33), "CFR append too long: 52TM_DATE 24");
    EXPECT_EQ(host.variable(3), "14:30:05");
    EXPECT_EQ(host.variable(4), "");
    const auto trace = trace_text();
    EXPECT_EQ(trace.back(), "_WriteUserVariable(\"14:30:05\", 3) = 0");
    EXPECT_EQ(host.count_of(Service::RtcGetAsciiTime), 1U) << "no clock read after the notice";
}

TEST_F(TmDateTest, TimeIsReadAgainOnlyWhenTheDateChangedMeanwhile) {
    // The first date and the first time readings come back empty, as a reading taken before a
    // change would differ: both must be replaced by the later readings.
    host.force_result(Service::RtcGetAsciiDate, 0, false);
    host.force_result(Service::RtcGetAsciiTime, 0, false);
    call(tm_record("24", "03", "EURO", "04"));
    EXPECT_EQ(host.count_of(Service::RtcGetAsciiTime), 2U);
    EXPECT_EQ(host.variable(4), "12.05.26");
    EXPECT_EQ(host.variable(3), "14:30:05");

    // When both date readings agree the one time reading stands, whatever it was.
    host.clear_trace();
    host.force_result(Service::RtcGetAsciiTime, 0, false);
    call(tm_record("24", "03", "EURO", "04"));
    EXPECT_EQ(host.count_of(Service::RtcGetAsciiTime), 1U);
    EXPECT_EQ(host.variable(3), "  :  :  ");
}

TEST_F(TmDateTest, ShortClockTextsLeaveBlanksAndNeverStaleBytes) {
    const struct {
        Service service;
        int format;
        std::string text;
        const char* hours;
        int variable;
        const char* expected;
    } cases[] = {
        {Service::RtcGetAsciiDate, 1, "12", "24", 4, "12/  /  "},
        {Service::RtcGetAsciiDate, 1, "12\0003456"s, "24", 4, "12/  /  "},
        {Service::RtcGetAsciiDate, 1, "1205269", "24", 4, "12/05/26"},
        {Service::RtcGetAsciiTime, 2, "1", "24", 3, "1 :  :  "},
        {Service::RtcGetAsciiTime, 1, "0230", "12", 3, "02:30:     "},
    };
    for (const auto& c : cases) {
        host.set_clock_text(c.service, c.format, c.text);
        call(tm_record(c.hours, "03", "AMER", "04"));
        EXPECT_EQ(host.variable(c.variable), c.expected) << '"' << c.text << '"';
        host.set_clock_text(c.service, c.format, std::nullopt);
    }
}

} // namespace
} // namespace opkit_test
