// The exported entry: message codes, the record header, the name lookup and the M1 notice.
#include "support.h"

#include <cstring>

#include "units.h"

namespace opkit_test {
namespace {

using EntryTest = PluginTest;

TEST_F(EntryTest, MessagesOtherThanThreeAndFiveDoNothingAndReturnZero) {
    for (const int code : {0, 1, 2, 4, 6, 7, 255, -1, 0x10003}) {
        EXPECT_EQ(message(code), 0) << code;
    }
    EXPECT_TRUE(host.trace().empty()) << "no host service is asked for messages 0-2, 4 and others";
    EXPECT_EQ(row(0), std::string(40, ' '));
}

TEST_F(EntryTest, UnknownNameShowsM1NoticeWithExcerptAndWaitsForAKey) {
    host.press_key('x');
    EXPECT_EQ(call("05HELLO"), 0);
    EXPECT_EQ(row(0), "Bad CCFR(M1):05HELLO" + std::string(20, ' '));
    EXPECT_EQ(row(1), "Press any key to continue" + std::string(15, ' '));
    EXPECT_EQ(host.keys_waiting(), 0U) << "the notice consumes the key";

    const std::vector<std::string> expected{
        "_VioWrtCharStr(\"" + std::string(40, ' ') + "\", 40, 0, 0, 0) = 0",
        "_VioWrtCharStr(\"" + std::string(40, ' ') + "\", 40, 1, 0, 0) = 0",
        "_VioWrtCharStr(\"Bad CCFR(  ):\", 13, 0, 0, 0) = 0",
        "_VioWrtCharStr(\"M1\", 2, 0, 9, 0) = 0",
        "_VioWrtCharStr(\"05HELLO\", 7, 0, 13, 0) = 0",
        "_VioWrtCharStr(\"Press any key to continue       \", 32, 1, 0, 0) = 0",
        "_KbdReadAscii(120) = 0",
    };
    EXPECT_EQ(trace_text(), expected);
}

TEST_F(EntryTest, NoticeKeyWaitPollsWithWaitEventZeroUntilAKeyArrives) {
    host.schedule_after(std::chrono::milliseconds(5), hostsim::KeyEvent{'k'});
    EXPECT_EQ(call("05NOPE!"), 0);
    const auto reads = host.trace_of(Service::KbdReadAscii);
    ASSERT_GE(reads.size(), 2U);
    for (size_t i = 0; i + 1 < reads.size(); ++i) {
        EXPECT_EQ(reads[i].result, 5);
    }
    EXPECT_EQ(reads.back().result, 0);
    for (const auto& wait : host.trace_of(Service::WaitEvent)) {
        EXPECT_EQ(wait.args, std::vector<int64_t>{0});
    }
    EXPECT_EQ(host.count_of(Service::WaitEvent), reads.size() - 1);
    EXPECT_EQ(host.count_of(Service::IdleManager), 0U);
}

TEST_F(EntryTest, NoticeEndsOnAnyKeyboardResultOtherThanFive) {
    host.force_result(Service::KbdReadAscii, 7);
    call("05NOPE!");
    EXPECT_EQ(host.count_of(Service::KbdReadAscii), 1U);
}

TEST_F(EntryTest, ExcerptShowsOnlyTheFirstEighteenCharacters) {
    host.press_key(1);
    call("40UNKNOWNabcdefghijklmnopqrstuvwxyz0123456789");
    EXPECT_EQ(row(0).substr(0, 31), "Bad CCFR(M1):40UNKNOWNabcdefghi");
    EXPECT_EQ(row(0).substr(31), std::string(9, ' '));
}

TEST_F(EntryTest, NullRecordCountsAsEmptyRecord) {
    host.press_key(1);
    EXPECT_EQ(plugin.call_raw(3, nullptr), 0);
    EXPECT_EQ(notice_code(), "M1");
    EXPECT_EQ(row(0).substr(13), std::string(27, ' '));
    EXPECT_EQ(calls_of(Service::VioWrtCharStr).at(4), "_VioWrtCharStr(\"\", 0, 0, 13, 0) = 0");
}

TEST_F(EntryTest, EmptyAndShortRecordsNeverMatchAName) {
    for (const char* record : {"", "0", "05", "05DICOUN", "05 DICOUNT"}) {
        host.press_key(1);
        EXPECT_EQ(call(record), 0);
        EXPECT_EQ(notice_code(), "M1") << '"' << record << '"';
    }
}

TEST_F(EntryTest, WiderScreenKeepsWhatStandsBeyondColumn39) {
    hostsim::HostOptions wide;
    wide.columns = 60;
    hostsim::Host big(wide);
    big.make_current();
    big.write_screen(0, 0, std::string(60, '#'));
    big.press_key(1);
    call("05HELLO");
    EXPECT_EQ(big.screen_row(0).substr(40), std::string(20, '#'));
    host.make_current();
}

TEST(DispatchTable, FindsTheTenNamesInOrderWithoutRegardToCase) {
    const auto dispatch_find = units().dispatch_find;
    const char* names[] = {"DICOUNT", "POPUPWN", "COMPARE", "CMP_INT", "INTMATH",
                           "CHKUNIQ", "TM_DATE", "TRANMSG", "V_DELAY", "WAIT_UV"};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(dispatch_find(names[i]), i) << names[i];
        std::string lower(names[i]);
        for (char& c : lower) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        EXPECT_EQ(dispatch_find(lower.c_str()), i) << lower;
    }
    EXPECT_EQ(dispatch_find("cMp_InT"), 3);
    EXPECT_EQ(dispatch_find("CMP_IN"), -1);
    EXPECT_EQ(dispatch_find("CMP-INT"), -1);
    EXPECT_EQ(dispatch_find(""), -1);
}

// The one-step lookup against a plain case-insensitive search of the table, in the table's
// order: every byte value in every name column of every name, a NUL ending the name early
// included, and names of other lengths.
TEST(DispatchTable, LookupAgreesWithAPlainCaseInsensitiveSearchForEveryByteInEveryColumn) {
    const auto dispatch_find = units().dispatch_find;
    const auto dispatch_find_columns = units().dispatch_find_columns;
    const char* names[] = {"DICOUNT", "POPUPWN", "COMPARE", "CMP_INT", "INTMATH",
                           "CHKUNIQ", "TM_DATE", "TRANMSG", "V_DELAY", "WAIT_UV"};
    const auto fold = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : int(c); };
    const auto plain_search = [&](const char* name) {
        for (int i = 0; i < 10; ++i) {
            const char* a = name;
            const char* b = names[i];
            while (*a != '\0' &&
                   fold(static_cast<unsigned char>(*a)) == fold(static_cast<unsigned char>(*b))) {
                ++a;
                ++b;
            }
            if (*a == '\0' && *b == '\0') {
                return i;
            }
        }
        return -1;
    };
    int mismatches = 0;
    for (const char* name : names) {
        for (int column = 0; column < 7; ++column) {
            for (int byte = 0; byte < 256; ++byte) {
                opkit::NameColumns columns = {};
                std::memcpy(columns, name, 7);
                columns[column] = static_cast<char>(byte);
                if (byte == 0) {
                    std::memset(columns + column, 0, sizeof columns - size_t(column));
                }
                const int expected = plain_search(columns);
                if (dispatch_find_columns(columns) != expected ||
                    dispatch_find(columns) != expected) {
                    ADD_FAILURE() << name << " column " << column << " byte " << byte;
                    ++mismatches;
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(dispatch_find("CMP_INT "), -1);
    EXPECT_EQ(dispatch_find("CMP_INTX"), -1);
    EXPECT_EQ(dispatch_find("CMP_IN"), -1);
    EXPECT_EQ(dispatch_find("cMp_InT"), 3);
}

TEST(PluginLifecycle, LoadsUnloadsAndLoadsAgain) {
    hostsim::Host host;
    host.make_current();
    hostsim::Plugin plugin(OPKIT_PLUGIN_PATH);
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(plugin.load()) << plugin.error();
        EXPECT_EQ(plugin.message(1), 0);
        plugin.unload();
        EXPECT_FALSE(plugin.loaded());
    }
    EXPECT_TRUE(host.trace().empty()) << "loading and unloading asks the host for nothing";
}

// A library that loads but exports no `main` is refused, not called.
TEST(PluginLifecycle, LibraryWithoutMainIsRefused) {
#if defined(OPKIT_PE_LOADER)
    GTEST_SKIP() << "the PE loader's own tests cover DLLs it refuses";
#else
#if defined(_WIN32)
    hostsim::Plugin plugin("kernel32.dll");
#else
    hostsim::Plugin plugin("libc.so.6");
#endif
    EXPECT_FALSE(plugin.load());
    EXPECT_NE(plugin.error().find("does not export main"), std::string::npos) << plugin.error();
    EXPECT_FALSE(plugin.loaded());
    EXPECT_EQ(plugin.message(1), -1);
#endif
}

TEST(PluginLifecycle, MissingLibraryIsReportedNotCrashed) {
    hostsim::Plugin plugin("/nonexistent/opkit-missing.so");
    EXPECT_FALSE(plugin.load());
    EXPECT_FALSE(plugin.error().empty());
    EXPECT_EQ(plugin.message(1), -1);
}

} // namespace
} // namespace opkit_test
