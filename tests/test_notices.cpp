// The two notices drawn over what the application left on rows 0 and 1: each covers exactly
// the columns it owns, so no stale character shows through its prompt.
#include "support.h"

#include <string>

namespace opkit_test {
namespace {

using NoticeTest = PluginTest;

const std::string prompt = "Press any key to continue";

struct NoticeCase {
    const char* what;
    std::string record;
    bool refuse_write; // the host refuses the variable write: the append notice
    // Row 1 after the notice, over a row that held 40 'x' before it.
    std::string row1;
};

TEST_F(NoticeTest, PromptCoversItsThirtyTwoColumnsOverAnApplicationsText) {
    const NoticeCase cases[] = {
        // The parameter notice blanks both rows first.
        {"bad parameter", "05HELLO", false, prompt + std::string(15, ' ')},
        // The append notice leaves what stands beyond its prompt.
        {"append", make_record(32, "DICOUNT", {{10, "S"}, {20, "01"}, {31, "04"}}), true,
         prompt + std::string(7, ' ') + std::string(8, 'x')},
    };
    for (const NoticeCase& c : cases) {
        host.write_screen(0, 0, std::string(40, 'x'));
        host.write_screen(1, 0, std::string(40, 'x'));
        if (c.refuse_write) {
            host.force_result(Service::WriteUserVariable, HOSTLIB_WRITE_TOO_LONG);
        }
        host.press_key('k');
        EXPECT_EQ(call(c.record), 0) << c.what;
        EXPECT_EQ(host.keys_waiting(), 0U) << c.what << ": the notice took the key";
        EXPECT_EQ(row(1), c.row1) << c.what;
    }
}

} // namespace
} // namespace opkit_test
