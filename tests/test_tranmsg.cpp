// TRANMSG: the switch letter and the length check.
#include "support.h"

namespace opkit_test {
namespace {

using TranmsgTest = PluginTest;

TEST_F(TranmsgTest, NSwitchesOffEverythingElseOn) {
    const struct {
        const char* record;
        int64_t value;
    } cases[] = {
        {"10TRANMSG N ", 0}, {"10TRANMSG n ", 0}, {"10TRANMSG Y ", 1}, {"10TRANMSG y ", 1},
        {"10TRANMSG   ", 1}, {"10TRANMSG 0 ", 1}, {"10TRANMSG N ", 0}, {"10TRANMSG", 1},
    };
    for (const auto& c : cases) {
        host.clear_trace();
        EXPECT_EQ(call(c.record), 0);
        ASSERT_EQ(host.count_of(Service::TransactionMsg), 1U) << c.record;
        EXPECT_EQ(host.trace_of(Service::TransactionMsg)[0].args.at(0), c.value) << c.record;
        EXPECT_EQ(host.transaction_messages(), c.value == 1);
    }
}

TEST_F(TranmsgTest, LengthNineGivesF1) {
    host.press_key('k');
    EXPECT_EQ(call("09TRANMSG N"), 0);
    EXPECT_EQ(notice_code(), "F1");
    EXPECT_EQ(host.count_of(Service::TransactionMsg), 0U);
}

} // namespace
} // namespace opkit_test
