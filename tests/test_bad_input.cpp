// The bad-input catalogue: records of every length under every name with random and high
// bytes, length digits that lie, hostile field texts, and hostile host answers. Each must end
// with the function's own code or result, leave the kept state alone when it raises a notice,
// and read nothing past the record's NUL: records stand right before an inaccessible page, so
// such a read stops the run even without the sanitizer and memory-check builds.
#include "support.h"

#include "entry/layouts.h"
#include "units.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <sstream>

#if defined(_WIN32)
#if !defined(NOMINMAX)
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace opkit_test {
namespace {

using hostsim::Host;

// A record placed so that its NUL is the last readable byte before a page that cannot be read.
class GuardedRecord {
  public:
    GuardedRecord() {
#if defined(_WIN32)
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        page_ = info.dwPageSize;
        base_ = static_cast<char*>(
            VirtualAlloc(nullptr, 2 * page_, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        DWORD old = 0;
        guarded_ = base_ != nullptr && VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old);
#else
        page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        void* map =
            mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base_ = map == MAP_FAILED ? nullptr : static_cast<char*>(map);
        guarded_ = base_ != nullptr && mprotect(base_ + page_, page_, PROT_NONE) == 0;
#endif
    }
    ~GuardedRecord() {
#if defined(_WIN32)
        VirtualFree(base_, 0, MEM_RELEASE);
#else
        if (base_ != nullptr) {
            munmap(base_, 2 * page_);
        }
#endif
    }
    GuardedRecord(const GuardedRecord&) = delete;
    GuardedRecord& operator=(const GuardedRecord&) = delete;

    bool ready() const {
        return guarded_;
    }
    char* place(const std::string& record) {
        char* at = base_ + page_ - record.size() - 1;
        std::memcpy(at, record.data(), record.size());
        at[record.size()] = '\0';
        return at;
    }

  private:
    size_t page_ = 0;
    char* base_ = nullptr;
    bool guarded_ = false;
};

// What a function may do, to judge any outcome: what its row says of it.
struct Function {
    std::string name;
    std::string codes;           // its notice codes, two characters each
    std::set<int> results;       // what it may return
    std::set<Service> services;  // what it may ask beyond the notices' screen and keys
    int write_first, write_last; // user variables it may write
    const opkit::Layout* layout; // null for a name that matches no function
};

std::set<Service> services_of(unsigned bits) {
    std::set<Service> out;
    const std::pair<unsigned, std::vector<Service>> map[] = {
        {opkit::service_cells,
         {Service::VioWrtCharStrAtt, Service::VioReadCellStr, Service::VioWrtCellStr}},
        {opkit::service_read_variable, {Service::ReadUserVariable}},
        {opkit::service_write_variable, {Service::WriteUserVariable}},
        {opkit::service_idle, {Service::IdleManager}},
        {opkit::service_clock, {Service::RtcGetAsciiDate, Service::RtcGetAsciiTime}},
        {opkit::service_transaction, {Service::TransactionMsg}},
    };
    for (const auto& [bit, services] : map) {
        if ((bits & bit) != 0U) {
            out.insert(services.begin(), services.end());
        }
    }
    return out;
}

Function function_of(const opkit::Layout& layout) {
    Function f{layout.name,        "",     {}, services_of(layout.services), layout.writes.first,
               layout.writes.last, &layout};
    for (size_t i = 0; i < layout.check_count; ++i) {
        const std::string code = layout.checks[i].code;
        if (!code.empty() && f.codes.find(code) == std::string::npos) {
            f.codes += code;
        }
    }
    for (int r = 0; r < 8; ++r) {
        if ((layout.results & (1U << r)) != 0U) {
            f.results.insert(r);
        }
    }
    return f;
}

const std::vector<Function>& functions() {
    static const std::vector<Function> table = [] {
        std::vector<Function> out;
        for (const opkit::Layout& layout : opkit::layouts) {
            out.push_back(function_of(layout));
        }
        out.push_back({"unknown", "M1", {0}, {}, 1, 0, nullptr});
        return out;
    }();
    return table;
}

const Function& function_named(std::string_view name) {
    for (const Function& f : functions()) {
        if (name == f.name) {
            return f;
        }
    }
    return functions().back();
}

// Whether `code` is one of the two-character codes in `codes`.
bool has_code(std::string_view codes, const std::string& code) {
    for (size_t i = 0; i + 1 < codes.size(); i += 2) {
        if (codes.substr(i, 2) == code) {
            return true;
        }
    }
    return false;
}

// The decimal value of a text as the library reads its fields: blanks, a sign, digits.
int64_t field_value(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}

// The code that the record's length digits alone decide, before any field is looked at; empty
// when they decide nothing. A length check for one kind of call holds for that call's letter
// in column 10 only.
std::string length_code(const Function& function, int64_t length, char letter) {
    if (function.layout == nullptr) {
        return "M1";
    }
    const char record[12] = {'0', '0', 'X', 'X', 'X', 'X', 'X', 'X', 'X', 'X', letter, '\0'};
    for (size_t i = 0; i < function.layout->check_count; ++i) {
        const opkit::Check& check = function.layout->checks[i];
        const bool length_check =
            check.test == opkit::Test::length_at_least || check.test == opkit::Test::length_at_most;
        if (length_check && units().check_applies(record, check)) {
            const bool ok = check.test == opkit::Test::length_at_least ? length >= check.bound
                                                                       : length <= check.bound;
            return ok ? "" : check.code;
        }
    }
    return "";
}

// The host's options for the catalogue: a key wait that finds no key ends soon.
hostsim::HostOptions quick_host() {
    hostsim::HostOptions options;
    options.stall_limit = 20;
    return options;
}

class BadInputTest : public PluginTest {
  protected:
    BadInputTest() : PluginTest(quick_host()) {}

    // Runs one record on a fresh host (prepared by `setup`), the plug-in keeping its state,
    // and checks everything a function may and may not do. Returns the notice code shown.
    std::string run(const Function& function, const std::string& record,
                    const std::function<void(Host&)>& setup = {}) {
        fresh = std::make_unique<Host>(quick_host());
        fresh->make_current();
        // Waits end: a stop request arrives after `stop_after_ms` of the host's time.
        fresh->schedule_after(std::chrono::milliseconds(stop_after_ms), hostsim::StopEvent{});
        if (setup) {
            setup(*fresh);
        }
        result = guard.ready() ? plugin.call_raw(3, guard.place(record)) : call(record);
        return judge(function, record);
    }

    std::string judge(const Function& function, const std::string& record) {
        const auto where = ::testing::Message() << function.name << " record \"" << record << "\" ("
                                                << record.size() << " characters)";
        EXPECT_TRUE(function.results.count(result) != 0) << where << " returned " << result;
        std::string code;
        int notices = 0;
        for (const auto& entry : fresh->trace()) {
            const Service s = entry.service;
            const bool notice_service = s == Service::VioWrtCharStr || s == Service::KbdReadAscii ||
                                        s == Service::WaitEvent || s == Service::HostNote;
            EXPECT_TRUE(notice_service || function.services.count(s) != 0)
                << where << " asked " << entry.to_string();
            if (s == Service::VioWrtCharStr && entry.text.rfind("Bad CCFR(", 0) == 0) {
                ++notices;
            }
            if (s == Service::VioWrtCharStr && entry.args.size() >= 3 && entry.args[0] == 2 &&
                entry.args[1] == 0 && entry.args[2] == 9) {
                code = entry.text;
                EXPECT_TRUE(has_code(function.codes, code)) << where << " showed " << code;
            }
            if (s == Service::WriteUserVariable) {
                EXPECT_GE(entry.args.at(0), function.write_first) << where;
                EXPECT_LE(entry.args.at(0), function.write_last) << where;
                EXPECT_LE(entry.text.size(), 11U) << where << " wrote " << entry.to_string();
            }
        }
        EXPECT_LE(notices, 1) << where;
        if (notices > 0) {
            EXPECT_EQ(result, 0) << where << " returned a result after its notice";
        }
        return code;
    }

    std::vector<std::string> calls_of_fresh(Service service) const {
        std::vector<std::string> out;
        for (const auto& entry : fresh->trace_of(service)) {
            out.push_back(entry.to_string());
        }
        return out;
    }

    void TearDown() override { host.make_current(); }

    GuardedRecord guard;
    std::unique_ptr<Host> fresh;
    int result = 0;
    int stop_after_ms = 100;
};

// ---------------------------------------------------------------- every length, every name

enum class Filler { random, high, field_letters };

struct SweepCase {
    const char* name;
    Filler filler;
};

void PrintTo(const SweepCase& sweep, std::ostream* out) {
    *out << sweep.name << " filler " << static_cast<int>(sweep.filler);
}

class LengthSweepTest : public BadInputTest, public ::testing::WithParamInterface<SweepCase> {};

// Records of 0 to 60 characters: the name (in mixed case) behind length digits that tell the
// truth, claim more or fewer characters, or are no number at all, and filler bytes after it.
TEST_P(LengthSweepTest, EveryLengthEndsWithTheFunctionsOwnCodeOrResult) {
    ASSERT_TRUE(guard.ready());
    const SweepCase sweep = GetParam();
    const Function& function = function_named(sweep.name);
    std::mt19937 random(
        static_cast<unsigned>(std::strlen(sweep.name) * 131 + static_cast<unsigned>(sweep.filler)));
    auto filler_byte = [&]() -> char {
        switch (sweep.filler) {
        case Filler::random: return static_cast<char>(1 + random() % 255);
        case Filler::high: return static_cast<char>(0x80 + random() % 128);
        case Filler::field_letters: {
            static const char letters[] = "0123456789 +-*/SsIiDdRrCcNnVvEeGgLlTtAaXxAMEREURO";
            return letters[random() % (sizeof letters - 1)];
        }
        }
        return ' ';
    };
    const bool known = std::string_view(sweep.name) != "unknown";
    for (int size = 0; size <= 60; ++size) {
        char honest[4];
        std::snprintf(honest, sizeof honest, "%02d", size >= 2 ? size - 2 : 0);
        char more[4];
        std::snprintf(more, sizeof more, "%02d", std::min(size + 8, 99));
        char fewer[4];
        std::snprintf(fewer, sizeof fewer, "%02d", std::max(size - 7, 0));
        const std::string digit_variants[] = {honest, more, fewer, "99",       "00",
                                              "-1",   " 9", "+5",  "\xb7\xb7", "ab"};
        for (const std::string& digits : digit_variants) {
            std::string record;
            for (int i = 0; i < size; ++i) {
                if (i < 2) {
                    record += digits[static_cast<size_t>(i)];
                } else if (i < 9 && known) {
                    const char c = sweep.name[i - 2];
                    record += (random() % 2 != 0) ? static_cast<char>(std::tolower(c)) : c;
                } else {
                    record += filler_byte();
                }
            }
            const bool named = size >= 9 || !known;
            const std::string code = run(named ? function : function_named("unknown"), record);
            if (named) {
                const std::string expected = length_code(
                    function, field_value(record.substr(0, std::min<size_t>(2, record.size()))),
                    size > 10 ? record[10] : '\0');
                if (!expected.empty()) {
                    EXPECT_EQ(code, expected) << '"' << record << '"';
                }
            } else {
                EXPECT_EQ(code, "M1") << "a record too short for its name: \"" << record << '"';
            }
        }
    }
}

std::string sweep_name(const ::testing::TestParamInfo<SweepCase>& info) {
    static const char* const fillers[] = {"Random", "High", "FieldLetters"};
    std::string name = info.param.name;
    name.erase(std::remove(name.begin(), name.end(), '_'), name.end());
    return name + fillers[static_cast<int>(info.param.filler)];
}

std::vector<SweepCase> sweep_cases() {
    std::vector<SweepCase> cases;
    for (const Function& f : functions()) {
        for (const Filler filler : {Filler::random, Filler::high, Filler::field_letters}) {
            cases.push_back({f.name.c_str(), filler});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Catalogue, LengthSweepTest, ::testing::ValuesIn(sweep_cases()),
                         sweep_name);

// ---------------------------------------------------------------- hostile field texts

// A field's texts that a hand-written record may hold, read like atoi within the field.
const char* const two_column_texts[] = {"-1",
                                        "+7",
                                        " 7",
                                        "7 ",
                                        "7x",
                                        "x7",
                                        "--",
                                        "+-",
                                        "  ",
                                        "\t9",
                                        "07",
                                        "-0",
                                        "+0",
                                        "00",
                                        "99",
                                        "\xff\xfe",
                                        "\x80"
                                        "1",
                                        "1\x80",
                                        "19",
                                        "20",
                                        "32",
                                        "33",
                                        "12",
                                        "24"};
const char* const one_column_texts[] = {"1", "2", "0", "3", " ", "-", "+", "a", "\xff", "\x01"};

struct RangeField {
    const char* name;
    std::string base; // a record that passes every check
    int column;
    int width;
    std::function<bool(int64_t)> accepted;
    const char* code;
};

// A number field judged by a check of its function's row: the values its range or list holds.
RangeField range_field(const char* name, std::string base, const opkit::Check& check) {
    const opkit::Field field = *check.field;
    auto accepted = [field](int64_t v) {
        if (field.accepts == nullptr) {
            return v >= field.low && v <= field.high;
        }
        std::istringstream values(field.accepts);
        int64_t value = 0;
        while (values >> value) {
            if (value == v) {
                return true;
            }
        }
        return false;
    };
    return {name, std::move(base), field.first, field.width, accepted, check.code};
}

std::vector<RangeField> range_fields() {
    const std::string dicount_store =
        make_record(32, "DICOUNT", {{10, "S"}, {20, "05"}, {31, "03"}});
    const std::string popup_open = make_record(23, "POPUPWN", {{10, "C"}, {16, "05"}, {24, "N"}});
    const std::string tm_date =
        make_record(52, "TM_DATE", {{10, "24"}, {30, "01"}, {35, "AMER"}, {52, "02"}});
    const std::string verify = make_record(24, "CHKUNIQ", {{10, "V"}, {14, "01"}, {25, "1"}});
    const std::string reset = make_record(22, "CHKUNIQ", {{10, "R"}, {23, "1"}});
    namespace L = opkit;
    return {
        range_field("DICOUNT", dicount_store, L::dicount::counter_range),
        range_field("DICOUNT", dicount_store, L::dicount::variable_range),
        range_field("POPUPWN", popup_open, L::popupwn::rows_range),
        range_field("TM_DATE", tm_date, L::tm_date::time_range),
        range_field("TM_DATE", tm_date, L::tm_date::date_range),
        range_field("TM_DATE", tm_date, L::tm_date::known_hours),
        range_field("CHKUNIQ", verify, L::chkuniq::verify_list_range),
        range_field("CHKUNIQ", reset, L::chkuniq::reset_list_range),
    };
}

using FieldTextTest = BadInputTest;

TEST_F(FieldTextTest, NumberFieldsReadSignsBlanksAndStrayBytesLikeAtoi) {
    for (const RangeField& field : range_fields()) {
        const Function& function = function_named(field.name);
        for (const char* text : field.width == 2
                                    ? std::vector<const char*>(std::begin(two_column_texts),
                                                               std::end(two_column_texts))
                                    : std::vector<const char*>(std::begin(one_column_texts),
                                                               std::end(one_column_texts))) {
            std::string record = field.base;
            record.replace(static_cast<size_t>(field.column), static_cast<size_t>(field.width),
                           text);
            const std::string code =
                run(function, record, [](Host& h) { h.set_variable(1, "seen"); });
            const bool accepted = field.accepted(field_value(text));
            EXPECT_EQ(code, accepted ? "" : field.code)
                << field.name << " column " << field.column << " holding \"" << text << '"';
        }
    }
}

// Variable numbers without a range of their own reach the host as read: COMPARE, CHKUNIQ and
// WAIT_UV pass the value, CMP_INT and INTMATH its low 8 bits.
TEST_F(FieldTextTest, VariableNumbersReachTheHostAsConverted) {
    struct Case {
        const char* name;
        std::string base;
        int column;
        bool low_byte;
    };
    const Case cases[] = {
        {"COMPARE", make_record(36, "COMPARE", {{14, "01"}, {18, "EQ"}, {25, "02"}, {37, "S"}}), 14,
         false},
        {"CMP_INT", make_record(28, "CMP_INT", {{12, "01"}, {16, "EQ"}, {21, "02"}, {30, "S"}}), 12,
         true},
        {"INTMATH", make_record(21, "INTMATH", {{12, "01"}, {16, "+"}, {20, "02"}}), 12, true},
        {"CHKUNIQ", make_record(24, "CHKUNIQ", {{10, "V"}, {14, "01"}, {25, "1"}}), 14, false},
        {"WAIT_UV", make_record(22, "WAIT_UV", {{14, "01"}, {21, "  1"}}), 14, false},
    };
    for (const Case& c : cases) {
        for (const char* text : two_column_texts) {
            std::string record = c.base;
            record.replace(static_cast<size_t>(c.column), 2, text);
            // Every number reads as a variable holding "1", so that nothing fails after it.
            run(function_named(c.name), record,
                [](Host& h) { h.force_result(Service::ReadUserVariable, 0, false); });
            const auto reads = fresh->trace_of(Service::ReadUserVariable);
            ASSERT_FALSE(reads.empty()) << c.name << " \"" << text << '"';
            const int64_t value = field_value(text);
            EXPECT_EQ(reads[0].args.at(0), c.low_byte ? (value & 0xFF) : value)
                << c.name << " holding \"" << text << '"';
        }
    }
}

TEST_F(FieldTextTest, DelayCountAndTimeoutFieldsReadLikeAtoi) {
    stop_after_ms = 60000;
    const Function& v_delay = function_named("V_DELAY");
    const std::pair<const char*, size_t> counts[] = {{"3", 8},  {"+3", 8},   {" 3", 8},
                                                     {"3x", 8}, {"x3", 1},   {"-1", 1},
                                                     {"0", 1},  {"\xff", 1}, {"", 1}};
    for (const auto& [count, passes] : counts) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02d", static_cast<int>(8 + std::strlen(count)));
        const std::string record = digits + std::string("V_DELAY ") + count;
        run(v_delay, record);
        EXPECT_EQ(fresh->count_of(Service::WaitEvent), passes) << '"' << record << '"';
    }
    // The timeout keeps its low 16 bits; the first wait is the whole of it.
    const Function& wait_uv = function_named("WAIT_UV");
    const std::pair<const char*, int64_t> timeouts[] = {
        {" -1", 65535000}, {"  5", 5000},   {"+5 ", 5000},      {"5x ", 5000},
        {"x5 ", 0},        {"999", 999000}, {"\x80\x80\x80", 0}};
    for (const auto& [timeout, first_wait] : timeouts) {
        run(wait_uv, make_record(22, "WAIT_UV", {{14, "01"}, {21, timeout}}));
        const auto waits = fresh->trace_of(Service::WaitEvent);
        ASSERT_FALSE(waits.empty()) << timeout;
        EXPECT_EQ(waits[0].args.at(0), first_wait) << '"' << timeout << '"';
    }
}

// Every byte in every letter column: exactly the documented letters, in either case, act;
// every other byte gives the column's code, or does what the column says of other characters.
TEST_F(FieldTextTest, LetterColumnsAcceptExactlyTheirLettersWhateverTheByte) {
    struct LetterColumn {
        const char* name;
        std::string base;
        int column;
        const char* letters; // the bytes that pass the column's check
        const char* code;    // the code of any other byte; empty: other bytes are no fault
    };
    const LetterColumn columns[] = {
        {"DICOUNT", make_record(32, "DICOUNT", {{10, "I"}, {20, "05"}, {31, "03"}}), 10, "DdIiRrSs",
         "D5"},
        {"COMPARE", make_record(36, "COMPARE", {{14, "01"}, {18, "ET"}, {25, "02"}, {37, "S"}}), 18,
         "EeNnGgLl", "C5"},
        {"COMPARE", make_record(36, "COMPARE", {{14, "01"}, {18, "GE"}, {25, "02"}, {37, "S"}}), 19,
         "EeTt", "C5"},
        {"COMPARE", make_record(36, "COMPARE", {{14, "01"}, {18, "EQ"}, {25, "02"}, {37, "S"}}), 37,
         "NnSs", "C4"},
        {"CMP_INT", make_record(28, "CMP_INT", {{12, "01"}, {16, "LT"}, {21, "02"}, {30, "S"}}), 16,
         "EeNnGgLl", "C5"},
        {"CMP_INT", make_record(28, "CMP_INT", {{12, "01"}, {16, "LT"}, {21, "02"}, {30, "S"}}), 17,
         "EeTt", "C5"},
        {"CMP_INT", make_record(28, "CMP_INT", {{12, "01"}, {16, "EQ"}, {21, "02"}, {30, "S"}}), 30,
         "AaNnSs", "C4"},
        {"INTMATH", make_record(21, "INTMATH", {{12, "01"}, {16, "+"}, {20, "02"}}), 16, "*+-/",
         "C5"},
        {"POPUPWN", make_record(23, "POPUPWN", {{10, "C"}, {16, "02"}, {24, "N"}}), 10, "CcRr", ""},
        {"CHKUNIQ", make_record(24, "CHKUNIQ", {{10, "V"}, {14, "01"}, {23, "1"}, {25, "1"}}), 10,
         "VvRr", ""},
        {"TRANMSG", make_record(10, "TRANMSG", {{10, "N"}}), 10, "", ""},
    };
    for (const LetterColumn& c : columns) {
        for (int byte = 1; byte < 256; ++byte) {
            std::string record = c.base;
            record[static_cast<size_t>(c.column)] = static_cast<char>(byte);
            const std::string code = run(function_named(c.name), record, [](Host& h) {
                h.set_variable(1, "3");
                h.set_variable(2, "1");
            });
            const bool letter = byte < 128 && std::strchr(c.letters, byte) != nullptr;
            EXPECT_EQ(code, letter ? "" : c.code)
                << c.name << " column " << c.column << " byte " << byte;
        }
    }
    // The switch of TRANMSG and the frame of POPUPWN take N alone as their "other" value.
    for (int byte = 1; byte < 256; ++byte) {
        const bool n = byte == 'N' || byte == 'n';
        std::string record = make_record(10, "TRANMSG", {{10, "x"}});
        record[10] = static_cast<char>(byte);
        run(function_named("TRANMSG"), record);
        EXPECT_EQ(
            calls_of_fresh(Service::TransactionMsg),
            std::vector<std::string>{std::string("_TransactionMsg(") + (n ? "0" : "1") + ") = 0"})
            << byte;
        std::string open = make_record(23, "POPUPWN", {{10, "C"}, {16, "01"}, {24, "x"}});
        open[24] = static_cast<char>(byte);
        run(function_named("POPUPWN"), open);
        const auto frames = fresh->trace_of(Service::VioWrtCharStrAtt);
        ASSERT_EQ(frames.size(), 3U) << byte;
        EXPECT_EQ(frames[0].args.at(3), n ? 0 : 1) << byte;
    }
}

// ---------------------------------------------------------------- kept state after faults

using KeptStateTest = BadInputTest;

// Counters, uniqueness lists and the popup box are set up, then every kind of faulty record
// is sent; each must show its notice, and afterwards the state reads as it was.
TEST_F(KeptStateTest, FaultyRecordsLeaveCountersListsAndBoxAsTheyWere) {
    const std::string row1_before = "the application's row 1, kept under the box";
    host.write_screen(1, 0, row1_before);
    for (int r = 2; r <= 7; ++r) {
        host.write_screen(r, 0, "screen row " + std::to_string(r));
    }
    std::vector<std::string> rows_before;
    for (int r = 1; r <= 7; ++r) {
        rows_before.push_back(row(r));
    }
    for (int n = 1; n <= 32; ++n) {
        char counter[3];
        std::snprintf(counter, sizeof counter, "%02d", n);
        for (int k = 0; k < n % 4; ++k) {
            call(make_record(21, "DICOUNT", {{10, "I"}, {20, counter}}));
        }
    }
    for (int i = 0; i < 10; ++i) {
        host.set_variable(1, "known" + std::to_string(i));
        ASSERT_EQ(
            call(make_record(24, "CHKUNIQ", {{10, "V"}, {14, "01"}, {25, i < 5 ? "1" : "2"}})), 1);
    }
    call(make_record(23, "POPUPWN", {{10, "C"}, {16, "05"}, {24, "N"}}));

    std::vector<std::pair<const char*, std::string>> faulty;
    std::mt19937 random(7);
    for (int size = 9; size <= 60; ++size) {
        std::string junk;
        for (int i = 9; i < size; ++i) {
            junk += static_cast<char>(1 + random() % 255);
        }
        // Length digits that claim too few characters, whatever follows.
        faulty.push_back({"DICOUNT", "05DICOUNT" + junk});
        faulty.push_back({"POPUPWN", "05POPUPWN C" + junk});
        faulty.push_back({"POPUPWN", "-1POPUPWN r" + junk});
        faulty.push_back({"CHKUNIQ", "05CHKUNIQ V" + junk});
        faulty.push_back({"CHKUNIQ", "05CHKUNIQ r" + junk});
        faulty.push_back({"unknown", "05" + junk});
    }
    for (const char* bad : {"00", "33", "-1", "x5"}) {
        faulty.push_back({"DICOUNT", make_record(21, "DICOUNT", {{10, "I"}, {20, bad}})});
        faulty.push_back(
            {"DICOUNT", make_record(32, "DICOUNT", {{10, "S"}, {20, "05"}, {31, bad}})});
        faulty.push_back(
            {"POPUPWN", make_record(23, "POPUPWN", {{10, "C"}, {16, bad}, {24, "N"}})});
    }
    faulty.push_back({"DICOUNT", make_record(21, "DICOUNT", {{10, "X"}, {20, "05"}})});
    faulty.push_back({"DICOUNT", make_record(31, "DICOUNT", {{10, "s"}, {20, "05"}, {31, "01"}})});
    faulty.push_back({"CHKUNIQ", make_record(24, "CHKUNIQ", {{10, "V"}, {14, "01"}, {25, "3"}})});
    faulty.push_back({"CHKUNIQ", make_record(22, "CHKUNIQ", {{10, "R"}, {23, "0"}})});

    for (const auto& [name, record] : faulty) {
        const std::string code = run(function_named(name), record,
                                     [](Host& h) { h.set_variable(1, "a value never seen"); });
        EXPECT_FALSE(code.empty()) << name << " \"" << record << "\" showed no notice";
    }

    host.make_current();
    for (int n = 1; n <= 32; ++n) {
        char counter[3];
        std::snprintf(counter, sizeof counter, "%02d", n);
        call(make_record(32, "DICOUNT", {{10, "S"}, {20, counter}, {31, "09"}}));
        EXPECT_EQ(host.variable(9), std::to_string(n % 4)) << "counter " << n;
    }
    for (int i = 0; i < 10; ++i) {
        host.set_variable(1, "known" + std::to_string(i));
        EXPECT_EQ(
            call(make_record(24, "CHKUNIQ", {{10, "V"}, {14, "01"}, {25, i < 5 ? "1" : "2"}})), 0)
            << "known" << i << " is still in its list";
    }
    // The box of 5 rows is still open: closing it restores all seven rows it covered.
    call(make_record(9, "POPUPWN", {{10, "R"}}));
    for (int r = 1; r <= 7; ++r) {
        EXPECT_EQ(row(r), rows_before[static_cast<size_t>(r - 1)]) << "row " << r;
    }
}

// ---------------------------------------------------------------- hostile host answers

using HostileHostTest = BadInputTest;

TEST_F(HostileHostTest, TextsOfExactlyTheHostsLimitAreReadWhole) {
    ASSERT_EQ(HOSTLIB_VARIABLE_MAX, 131);
    const std::string a131(131, 'a');
    const std::string b131 = std::string(130, 'a') + "b";
    const std::string nines(131, '9');
    const std::string minus_nines = "-" + std::string(130, '9');
    struct Case {
        const char* name;
        std::string left, right, record;
        int result;
    };
    const Case cases[] = {
        {"COMPARE", a131, b131,
         make_record(36, "COMPARE", {{14, "01"}, {18, "LT"}, {25, "02"}, {37, "S"}}), 1},
        {"COMPARE", a131, a131,
         make_record(36, "COMPARE", {{14, "01"}, {18, "EQ"}, {25, "02"}, {37, "S"}}), 1},
        {"COMPARE", b131, a131,
         make_record(36, "COMPARE", {{14, "01"}, {18, "LE"}, {25, "02"}, {37, "N"}}), 1},
        {"CMP_INT", nines, "2147483647",
         make_record(28, "CMP_INT", {{12, "01"}, {16, "EQ"}, {21, "02"}, {30, "A"}}), 2},
        {"CMP_INT", minus_nines, "-2147483648",
         make_record(28, "CMP_INT", {{12, "01"}, {16, "EQ"}, {21, "02"}, {30, "S"}}), 1},
        {"CMP_INT", std::string(129, ' ') + "12", "12",
         make_record(28, "CMP_INT", {{12, "01"}, {16, "EQ"}, {21, "02"}, {30, "S"}}), 1},
    };
    for (const Case& c : cases) {
        run(function_named(c.name), c.record, [&](Host& h) {
            h.set_variable(1, c.left);
            h.set_variable(2, c.right);
        });
        EXPECT_EQ(result, c.result) << c.record;
    }

    // INTMATH: a number of 131 digits saturates, and the sum then wraps.
    run(function_named("INTMATH"), make_record(21, "INTMATH", {{12, "02"}, {16, "+"}, {20, "03"}}),
        [&](Host& h) {
            h.set_variable(2, nines);
            h.set_variable(3, "1");
        });
    EXPECT_EQ(fresh->variable(1), "-2147483648");

    // CHKUNIQ keeps the whole text: new once, then found, also when only the last differs.
    const std::string verify = make_record(24, "CHKUNIQ", {{10, "V"}, {14, "01"}, {25, "2"}});
    for (const auto& [value, expected] :
         {std::pair{a131, 1}, std::pair{a131, 0}, std::pair{b131, 1}, std::pair{b131, 0}}) {
        run(function_named("CHKUNIQ"), verify, [&](Host& h) { h.set_variable(1, value); });
        EXPECT_EQ(result, expected) << value.back();
    }

    // WAIT_UV sees the text once its first wait has ended.
    stop_after_ms = 60000;
    run(function_named("WAIT_UV"), make_record(22, "WAIT_UV", {{14, "01"}, {21, "  5"}}),
        [&](Host& h) { h.set_variable(1, b131); });
    EXPECT_EQ(result, 1);
}

// Results that no function tests count as a read; a host that answers without writing the
// buffer leaves the empty text, never stale or undefined bytes.
TEST_F(HostileHostTest, ReadsAnsweringOtherResultsCountAsEmptyOrWrittenTexts) {
    stop_after_ms = 60000;
    for (const int answer : {2, 4, 5, 7, -1, 255}) {
        for (const bool writes : {false, true}) {
            auto setup = [&](Host& h) {
                h.set_variable(1, "17");
                h.set_variable(2, "17");
                h.force_result(Service::ReadUserVariable, answer, writes);
            };
            const auto where = ::testing::Message()
                               << "answer " << answer << (writes ? " with" : " without")
                               << " the text";
            run(function_named("COMPARE"),
                make_record(36, "COMPARE", {{14, "01"}, {18, "EQ"}, {25, "02"}, {37, "S"}}), setup);
            EXPECT_EQ(result, writes ? 1 : 0) << where << ": '' or '17' against '17'";
            run(function_named("CMP_INT"),
                make_record(28, "CMP_INT", {{12, "01"}, {16, "EQ"}, {21, "02"}, {30, "S"}}), setup);
            EXPECT_EQ(result, writes ? 1 : 0) << where;
            run(function_named("INTMATH"),
                make_record(21, "INTMATH", {{12, "01"}, {16, "+"}, {20, "02"}}), setup);
            EXPECT_EQ(fresh->variable(1), writes ? "34" : "17") << where;
            run(function_named("WAIT_UV"), make_record(22, "WAIT_UV", {{14, "01"}, {21, "  5"}}),
                setup);
            EXPECT_EQ(result, 1) << where << ": the check's read does not count, the loop's does";
        }
    }
}

TEST_F(HostileHostTest, OnlyARefusedWriteShowsTheAppendNoticeAndNothingStops) {
    for (const int answer : {1, 3, 4, 5, 6, -1}) {
        const std::string store = make_record(32, "DICOUNT", {{10, "S"}, {20, "05"}, {31, "03"}});
        run(function_named("DICOUNT"), store,
            [&](Host& h) { h.force_result(Service::WriteUserVariable, answer, false); });
        const bool notice = fresh->screen_row(0).rfind("CFR append too long:", 0) == 0;
        EXPECT_EQ(notice, answer == 5) << "DICOUNT, write answered " << answer;

        const std::string stamp =
            make_record(52, "TM_DATE", {{10, "24"}, {30, "01"}, {35, "EURO"}, {52, "02"}});
        run(function_named("TM_DATE"), stamp,
            [&](Host& h) { h.force_result(Service::WriteUserVariable, answer, false); });
        EXPECT_EQ(fresh->count_of(Service::WriteUserVariable), 2U) << answer;
        EXPECT_TRUE(fresh->variable(1).has_value())
            << "the time is written after answer " << answer;
    }
}

// Clock texts shorter than six characters, months 00 and 13, stray bytes, and clock services
// that write nothing: the texts written keep their layout and the waits still end.
TEST_F(HostileHostTest, OddClockTextsKeepLayoutsAndWaitsEnd) {
    const char* const texts[] = {"",        "1",      "12",
                                 "1205",    "12052",  "001326",
                                 "130026",  "ab:cd:", "\xff\xfe\xfd\xfc\xfb\xfa\xf9",
                                 "1234567", "-10101", "-99999"};
    const std::string stamp_12 =
        make_record(52, "TM_DATE", {{10, "12"}, {30, "01"}, {35, "AMER"}, {52, "02"}});
    const std::string stamp_24 =
        make_record(52, "TM_DATE", {{10, "24"}, {30, "03"}, {35, "EURO"}, {52, "04"}});
    const std::string wait = make_record(22, "WAIT_UV", {{14, "05"}, {21, "  3"}});
    for (const char* text : texts) {
        auto odd_clock = [&](Host& h) {
            h.set_clock_text(Service::RtcGetAsciiDate, 1, text);
            h.set_clock_text(Service::RtcGetAsciiDate, 3, text);
            h.set_clock_text(Service::RtcGetAsciiTime, 1, std::string(text) + "PMxyz");
            h.set_clock_text(Service::RtcGetAsciiTime, 2, text);
        };
        for (const std::string* record : {&stamp_12, &stamp_24}) {
            run(function_named("TM_DATE"), *record, odd_clock);
            const bool twelve = record == &stamp_12;
            const std::string date = fresh->variable(twelve ? 2 : 4).value_or("(none)");
            const std::string time = fresh->variable(twelve ? 1 : 3).value_or("(none)");
            const char separator = twelve ? '/' : '.';
            ASSERT_EQ(date.size(), 8U) << '"' << text << "\" gave \"" << date << '"';
            EXPECT_EQ(date[2], separator);
            EXPECT_EQ(date[5], separator);
            ASSERT_EQ(time.size(), twelve ? 11U : 8U) << '"' << text << "\" gave \"" << time << '"';
            EXPECT_EQ(time[2], ':');
            EXPECT_EQ(time[5], ':');
        }
        // A clock that stands still never times a wait out: the stop request ends it.
        stop_after_ms = 60000;
        run(function_named("WAIT_UV"), wait, odd_clock);
        EXPECT_EQ(result, 2) << '"' << text << '"';
        stop_after_ms = 100;

        // The self-test shows the clock texts as far as they go.
        fresh = std::make_unique<Host>(quick_host());
        fresh->make_current();
        odd_clock(*fresh);
        fresh->press_key(13);
        EXPECT_EQ(message(5), 0);
        const size_t shown = std::min<size_t>(std::strlen(text), 6);
        EXPECT_EQ(fresh->screen_row(1).substr(0, shown), std::string(text).substr(0, shown));
        EXPECT_EQ(fresh->screen_row(2).substr(0, shown), std::string(text).substr(0, shown));
    }
    for (const Service clock : {Service::RtcGetAsciiDate, Service::RtcGetAsciiTime}) {
        run(function_named("TM_DATE"), stamp_24, [&](Host& h) {
            for (int i = 0; i < 4; ++i) {
                h.force_result(clock, 1, false);
            }
        });
        EXPECT_EQ(fresh->variable(4).value_or("").size(), 8U);
        EXPECT_EQ(fresh->variable(3).value_or("").size(), 8U);
        run(function_named("WAIT_UV"), wait, [&](Host& h) { h.force_result(clock, 1, false); });
    }
}

TEST_F(HostileHostTest, KeyAndIdleAnswersOtherThanTheDocumentedOnes) {
    stop_after_ms = 60000;
    // The abort key counts only with the result that says a key was read.
    run(function_named("V_DELAY"), "09V_DELAY 3", [](Host& h) {
        h.press_key(256);
        h.force_result(Service::KbdReadAscii, 7, true);
    });
    EXPECT_EQ(fresh->count_of(Service::WaitEvent), 8U);
    // Any non-zero idle answer asks to stop.
    for (const int idle : {2, 200, -1, 65535}) {
        run(function_named("V_DELAY"), "09V_DELAY 3",
            [&](Host& h) { h.force_result(Service::IdleManager, idle, false); });
        EXPECT_EQ(fresh->count_of(Service::WaitEvent), 1U) << idle;
        run(function_named("WAIT_UV"), make_record(22, "WAIT_UV", {{14, "05"}, {21, "  3"}}),
            [&](Host& h) { h.force_result(Service::IdleManager, idle, false); });
        EXPECT_EQ(result, 2) << idle;
    }
}

// Messages other than 3 never look at the record pointer.
TEST_F(HostileHostTest, OtherMessagesNeverReadTheRecord) {
    const std::unique_ptr<char[]> nothing(new char[1]);
    char* const past_the_end = nothing.get() + 1;
    for (const int code : {0, 1, 2, 4, 5, 6, 7, 255, -1, 0x10000}) {
        host.press_key(13);
        EXPECT_EQ(plugin.call_raw(code, past_the_end), 0) << code;
    }
}

} // namespace
} // namespace opkit_test
