// The sweep that ties the record analysis to the plug-in: over the bad-input catalogue (every
// name at every length behind length digits that tell the truth or lie, with random, high and
// field-letter fillers, every byte in every letter column, and typical mistakes in every field
// of a correct record), the notice that explain predicts is the notice the plug-in shows.
#include <gtest/gtest.h>

#include <random>

#include "compose.h"
#include "render.h"
#include "runner.h"

namespace opkit_cli {
namespace {

enum class Filler { random, high, field_letters };

// Records of 0 to 60 characters under `name` (in mixed case), with filler bytes after it.
void add_lengths(const std::string& name, Filler filler, std::vector<std::string>& out) {
    std::mt19937 random(static_cast<unsigned>(name.size() * 131 + static_cast<unsigned>(filler)));
    auto filler_byte = [&]() -> char {
        static const char letters[] = "0123456789 +-*/SsIiDdRrCcNnVvEeGgLlTtAaXxAMEREURO";
        switch (filler) {
        case Filler::random: return static_cast<char>(1 + random() % 255);
        case Filler::high: return static_cast<char>(0x80 + random() % 128);
        case Filler::field_letters: return letters[random() % (sizeof letters - 1)];
        }
        return ' ';
    };
    for (int size = 0; size <= 60; ++size) {
        const std::string digit_variants[] = {
            std::to_string(10 + std::max(size - 2, 0)).substr(1), // the true count, mod 10 digits
            size >= 2 && size - 2 < 10 ? "0" + std::to_string(size - 2) : std::to_string(size - 2),
            std::to_string(std::min(size + 8, 99)),
            "99",
            "00",
            "-1",
            " 9",
            "+5",
            "\xb7\xb7",
            "ab"};
        for (const std::string& digits : digit_variants) {
            std::string record;
            for (int i = 0; i < size; ++i) {
                if (i < 2) {
                    record += i < static_cast<int>(digits.size()) ? digits[i] : ' ';
                } else if (i < 9 && static_cast<size_t>(i - 2) < name.size()) {
                    const char c = name[static_cast<size_t>(i - 2)];
                    record += random() % 2 != 0 ? static_cast<char>(std::tolower(c)) : c;
                } else {
                    record += filler_byte();
                }
            }
            out.push_back(record);
        }
    }
}

// Typical mistakes in a field of `width` columns.
const std::vector<std::string>& mistakes(int width) {
    static const std::vector<std::string> one{"X", "n", "N", " ", "1", "2", "0",
                                              "*", "/", "a", "s", "g", "T"};
    static const std::vector<std::string> two{"00", "-1", " 7", "7x", "XX", "19", "20", "33", "99",
                                              "  ", "GE", "lt", "EX", "GQ", "16", "17", "12", "24"};
    static const std::vector<std::string> wide{"AMER", "euro", "EUR ", "    ", "-1 ", "005", "x"};
    return width == 1 ? one : width == 2 ? two : wide;
}

std::string with(std::string record, const opkit::Field& f, const std::string& text) {
    record.resize(std::max(record.size(), f.first + text.size()), ' ');
    record.replace(f.first, text.size(), text);
    return record;
}

// Every byte in every letter column, typical mistakes in every column and in every pair of
// columns, and every truncation of a good record.
void add_columns(const std::string& good, const opkit::Layout& layout,
                 std::vector<std::string>& out) {
    for (size_t i = 0; i < layout.field_count; ++i) {
        const opkit::Field& f = layout.fields[i];
        for (int byte = 1; f.width == 1 && byte < 256; ++byte) {
            out.push_back(with(good, f, std::string(1, static_cast<char>(byte))));
        }
        for (size_t j = i + 1; j < layout.field_count; ++j) {
            const opkit::Field& g = layout.fields[j];
            for (const std::string& a : mistakes(f.width)) {
                for (const std::string& b : mistakes(g.width)) {
                    out.push_back(with(with(good, f, a), g, b));
                }
            }
        }
        for (const std::string& a : mistakes(f.width)) {
            out.push_back(with(good, f, a));
        }
    }
    for (size_t cut = 0; cut < good.size(); ++cut) {
        out.push_back(good.substr(0, cut));
    }
}

std::vector<std::string> catalogue() {
    const std::vector<std::pair<const char*, std::vector<FieldAssignment>>> goods{
        {"DICOUNT", {{"operation", "S"}, {"counter", "5"}, {"variable", "3"}}},
        {"POPUPWN", {{"action", "C"}, {"rows", "4"}, {"frame", "N"}}},
        {"COMPARE", {{"left", "3"}, {"relation", "GE"}, {"right", "7"}, {"mode", "S"}}},
        {"CMP_INT", {{"left", "3"}, {"relation", "LT"}, {"right", "10"}, {"mode", "A"}}},
        {"INTMATH", {{"left", "3"}, {"operator", "/"}, {"right", "10"}}},
        {"CHKUNIQ", {{"action", "V"}, {"variable", "8"}, {"list", "1"}}},
        {"CHKUNIQ", {{"action", "R"}, {"list", "2"}}},
        {"TM_DATE",
         {{"hours", "12"}, {"time_variable", "11"}, {"style", "AMER"}, {"date_variable", "12"}}},
        {"TRANMSG", {{"switch", "N"}}},
        {"V_DELAY", {{"count", "3"}}},
        {"WAIT_UV", {{"variable", "19"}, {"timeout", "2"}}},
    };
    std::vector<std::string> out;
    for (const auto& [function, fields] : goods) {
        add_columns(compose_record(function, fields).record, *find_layout(function), out);
    }
    for (const opkit::Layout& layout : opkit::layouts) {
        for (const Filler filler : {Filler::random, Filler::high, Filler::field_letters}) {
            add_lengths(layout.name, filler, out);
        }
    }
    add_lengths("NOPE", Filler::field_letters, out);
    return out;
}

TEST(Sweep, ExplainPredictsTheNoticeThePluginShowsForEveryCatalogueRecord) {
    SessionOptions options;
    options.plugin_path = OPKIT_PLUGIN_PATH;
    Session session(options);
    std::string error;
    ASSERT_TRUE(session.open(error)) << error;
    hostsim::Host& host = session.host();
    // Texts, numbers, an empty and an unreadable variable, so that the host decides some calls.
    const std::vector<std::pair<int, std::string>> texts{
        {1, "7"},  {2, "-3"},     {3, "12"}, {4, "abc"}, {5, "0"}, {6, ""},
        {7, "12"}, {8, "PALLET"}, {10, "5"}, {19, "4"},  {20, "x"}};
    for (const auto& [n, t] : texts) {
        host.set_variable(n, t);
    }
    session.set_unreadable(9, true);
    session.set_unreadable(33, true);
    host.set_key_wait_hook([]() -> std::optional<uint16_t> { return hostsim::key_enter; });
    const HostReader reader = [&session](int v) { return session.read_answer(v); };

    const std::vector<std::string> records = catalogue();
    int mismatches = 0;
    int notices = 0;
    for (const std::string& record : records) {
        const std::string predicted = predict_notice(analyse(record), reader);
        host.request_stop(); // a delay or wait ends at its first look at the idle work
        host.clear_trace();
        session.plugin().call(record);
        const std::string shown = notice_in_trace(host.trace());
        notices += shown.empty() ? 0 : 1;
        if (shown != predicted && mismatches++ < 20) {
            ADD_FAILURE() << quoted_text(record) << ": explain predicts \"" << predicted
                          << "\", the plug-in shows \"" << shown << "\"";
        }
    }
    EXPECT_EQ(mismatches, 0) << "of " << records.size() << " records";
    EXPECT_EQ(host.stall_count(), 0) << "a key wait came without a prompt on the screen";
    EXPECT_GT(records.size(), 20000U);
    EXPECT_GT(notices, 10000) << "of " << records.size() << " records";
}

} // namespace
} // namespace opkit_cli
