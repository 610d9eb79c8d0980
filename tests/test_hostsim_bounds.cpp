// The emulated host at the edges of what it accepts: the smallest screens it makes and the
// date and time texts it takes, each field one past its range.
#include <gtest/gtest.h>

#include "hostsim/host.h"

namespace {

using hostsim::DateTime;

TEST(HostBounds, ScreenHasAtLeastOneRowAndColumn) {
    struct Case {
        int rows, columns;
        size_t expected_rows, expected_columns;
    };
    for (const Case c :
         {Case{1, 1, 1, 1}, Case{0, 0, 1, 1}, Case{-3, 5, 1, 5}, Case{2, -1, 2, 1}}) {
        hostsim::HostOptions options;
        options.rows = c.rows;
        options.columns = c.columns;
        hostsim::Host host(options);
        const auto rows = host.screen_rows();
        EXPECT_EQ(rows.size(), c.expected_rows) << c.rows << "x" << c.columns;
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows[0].size(), c.expected_columns) << c.rows << "x" << c.columns;
    }
}

TEST(HostBounds, DateTimeTextTakesEachFieldUpToItsLimitAndNoFurther) {
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"2099-12-31 23:59:59", true},  {"2100-01-01 00:00:00", false},
        {"2026-13-01 00:00:00", false}, {"2026-00-10 00:00:00", false},
        {"2026-04-30 00:00", true},     {"2026-04-31 00:00", false},
        {"2026-01-00 00:00", false},    {"2026-01-01 24:00", false},
        {"2026-01-01 12:60", false},    {"2026-01-01 12:00:60", false},
        {"2026-01-01 -1:00", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hostsim::parse_date_time(c.text).has_value(), c.valid) << c.text;
    }
    EXPECT_EQ(hostsim::parse_date_time("2026-06-15 07:08"), (DateTime{2026, 6, 15, 7, 8, 0, 0}));
}

} // namespace
