// What opkit-host takes from the plug-in's rows: the name lookup the plug-in makes, the paired
// relation columns, field aliases and a count that fills the record to its end.
#include <gtest/gtest.h>

#include <string>

#include "compose.h"
#include "explain.h"

namespace opkit_cli {
namespace {

const opkit::Layout* find(const std::string& name) {
    return opkit::find_function(name.data(), name.size());
}

TEST(Facts, TheLookupIsThePluginsOwnAndTakesNothingButAWholeName) {
    for (const opkit::Layout& layout : opkit::layouts) {
        EXPECT_EQ(find(layout.name), &layout);
        EXPECT_EQ(find(lower(layout.name)), &layout);
        const std::string name = layout.name;
        EXPECT_EQ(find(name.substr(0, name.size() - 1)), nullptr) << "a shorter name";
        EXPECT_EQ(find(name + "X"), nullptr) << "a longer name";
        // A NUL inside the name would end it for the plug-in's reader: it selects nothing here.
        EXPECT_EQ(find(name.substr(0, 3) + std::string(1, '\0') + name.substr(4)), nullptr);
    }
    EXPECT_EQ(find(""), nullptr);
    // compose's lookup is the same (each file has its own copy of the rows: compare handlers).
    ASSERT_NE(find_layout("cmp_int"), nullptr);
    EXPECT_EQ(find_layout("cmp_int")->handler, find("CMP_INT")->handler);
    EXPECT_EQ(find_layout("CMP_INTX"), nullptr);
}

TEST(Facts, ARelationsPairedColumnIsTheNextOneAndNeverComposedAlone) {
    int relations = 0;
    for (const opkit::Layout& layout : opkit::layouts) {
        for (size_t i = 0; i < layout.field_count; ++i) {
            const opkit::Field& f = layout.fields[i];
            if (f.pair == nullptr) {
                continue;
            }
            ++relations;
            EXPECT_EQ(f.pair->first, f.first + 1) << layout.name;
            EXPECT_TRUE(is_second_letter(layout, *f.pair)) << layout.name;
            EXPECT_EQ(compose_fields_help(layout).find(std::string(f.pair->name) + "="),
                      std::string::npos)
                << layout.name << ": the second letter is given through the relation";
        }
    }
    EXPECT_GT(relations, 0);
}

TEST(Facts, EveryRelationNameAndSymbolComposesToLettersThatReadBackAsIt) {
    for (const opkit::RelationName& relation : opkit::relation_names) {
        for (const char* given : {relation.name, relation.symbol}) {
            const Composed c = compose_record(
                "CMP_INT", {{"left", "3"}, {"relation", given}, {"right", "4"}, {"mode", "S"}});
            const Analysis a = analyse(c.record);
            ASSERT_EQ(a.notice, "") << given;
            EXPECT_EQ(opkit::relation_of(c.record[16], c.record[17]), relation.relation) << given;
        }
    }
}

TEST(Facts, AnAliasStandsInOnlyWhenTheFieldItselfIsNotGiven) {
    const Composed by_alias = compose_record("CHKUNIQ", {{"action", "R"}, {"list", "2"}});
    const Composed by_name = compose_record("CHKUNIQ", {{"action", "R"}, {"reset_list", "2"}});
    EXPECT_EQ(by_alias.record, by_name.record);
    EXPECT_TRUE(by_alias.notes.empty());
    const Composed both =
        compose_record("CHKUNIQ", {{"action", "R"}, {"reset_list", "1"}, {"list", "2"}});
    EXPECT_EQ(both.record, compose_record("CHKUNIQ", {{"action", "R"}, {"list", "1"}}).record);
    ASSERT_EQ(both.notes.size(), 1U);
    EXPECT_NE(both.notes[0].find("field list is not read"), std::string::npos);
    // An alias is no field of a function whose row does not name it.
    EXPECT_THROW(compose_record("DICOUNT", {{"operation", "I"}, {"counter", "1"}, {"list", "1"}}),
                 ComposeError);
}

TEST(Facts, ACountThatFillsTheRecordHasTheColumnsTheLengthLeavesIt) {
    const opkit::Field& count = opkit::v_delay::count;
    ASSERT_TRUE(count.to_end);
    EXPECT_EQ(opkit::present_width(count, 0), 0);
    EXPECT_EQ(opkit::present_width(count, count.first - opkit::header_columns), 0);
    EXPECT_EQ(opkit::present_width(count, count.first - opkit::header_columns + 2), 2);
    EXPECT_EQ(opkit::present_width(count, 99), count.width);
    const opkit::Field& fixed = opkit::dicount::counter;
    EXPECT_EQ(opkit::present_width(fixed, 0), fixed.width);
    // Composed, the count's digits stand as given and the length digits end the record there.
    EXPECT_EQ(compose_record("V_DELAY", {{"count", "7"}}).record, "09V_DELAY 7");
    EXPECT_EQ(compose_record("V_DELAY", {{"count", "12345"}}).record, "13V_DELAY 12345");
}

TEST(Facts, TheDelaysPassesAreAtLeastOne) {
    EXPECT_EQ(opkit::v_delay::passes(0), 1);
    EXPECT_EQ(opkit::v_delay::passes(1), 2);
    EXPECT_EQ(opkit::v_delay::passes(3), 8);
    EXPECT_EQ(opkit::v_delay::passes(99999), 266664);
}

} // namespace
} // namespace opkit_cli
