// The formatter, called directly (tests/units.h): text and result of formats against buffers
// of every size, with the same call made once for text only (row -1) and once on the screen.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "hostsim/host.h"
#include "units.h"

namespace {

using hostsim::Service;
using opkit_test::units;

struct Case {
    const char* format;
    int capacity;
    std::string text; // what the buffer holds afterwards
    int result;
    std::function<int(char* out, int capacity, int row, int column)> call;
};

template <typename... Args>
Case row(const char* format, int capacity, std::string text, int result, Args... args) {
    return {format, capacity, std::move(text), result, [=](char* out, int cap, int r, int column) {
                return units().scr_printf(out, cap, r, column, format, args...);
            }};
}

char mark_code(int result) {
    return result == 2 ? '1' : result == 3 ? '2' : '*';
}

// A write as the host's trace shows it (characters outside printable ASCII as \xNN).
std::string write_call(const std::string& text, int row, int column) {
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            shown += hex;
        } else {
            shown += c;
        }
    }
    return "_VioWrtCharStr(\"" + shown + "\", " + std::to_string(text.size()) + ", " +
           std::to_string(row) + ", " + std::to_string(column) + ", 0) = 0";
}

class ScrPrintf : public ::testing::Test {
  protected:
    ScrPrintf() { host.make_current(); }

    // The overflow mark of the formatter under test.
    char (&overflow_mark)[4] = *units().overflow_mark;

    // Runs a case into a buffer whose bytes from the capacity on are poison, first with
    // row -1, then at row 3, column 2, and checks text, result, mark and screen writes.
    void check(const Case& c) {
        SCOPED_TRACE(std::string("format \"") + c.format + "\" capacity " +
                     std::to_string(c.capacity));
        for (const int screen_row : {-1, 3}) {
            const size_t owned = static_cast<size_t>(c.capacity > 0 ? c.capacity : 0);
            std::vector<char> buffer(owned + 16, '#');
            overflow_mark[1] = '?';
            host.clear_trace();
            EXPECT_EQ(c.call(buffer.data(), c.capacity, screen_row, 2), c.result) << screen_row;
            for (size_t i = owned; i < buffer.size(); ++i) {
                ASSERT_EQ(buffer[i], '#') << "written beyond the capacity at " << i;
            }
            std::string text;
            if (c.capacity > 0) {
                ASSERT_NE(std::memchr(buffer.data(), 0, static_cast<size_t>(c.capacity)), nullptr);
                text = buffer.data();
                EXPECT_EQ(text, c.text) << screen_row;
            }
            EXPECT_EQ(overflow_mark[1], c.result == 0 ? '?' : mark_code(c.result));
            EXPECT_EQ(overflow_mark[0], '*');
            EXPECT_EQ(overflow_mark[2], '*');

            std::vector<std::string> writes;
            for (const auto& entry : host.trace_of(Service::VioWrtCharStr)) {
                writes.push_back(entry.to_string());
            }
            std::vector<std::string> expected;
            if (screen_row != -1) {
                expected.push_back(write_call(text, screen_row, 2));
                if (c.result != 0) {
                    expected.push_back(write_call(std::string("*") + mark_code(c.result) + "*",
                                                  screen_row, 2 + static_cast<int>(text.size())));
                }
            }
            EXPECT_EQ(writes, expected) << screen_row;
        }
    }

    void check_all(const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            check(c);
        }
    }

    hostsim::Host host;
};

TEST_F(ScrPrintf, OneCharacterCaseAndArgumentsTakenOnlyByConversions) {
    check_all({
        row("", 128, "", 0),
        row("plain text", 128, "plain text", 0),
        row("100%%", 128, "100%", 0),
        row("%y", 128, "y", 0),
        row("%*d", 128, "*d", 0, 7),
        row("%#x", 128, "#x", 0, 7),
        row("%-08.3Q", 128, "Q", 0),
        row("%\x7f!", 128, "\x7f!", 0),
        row("abc%", 128, "abc", 0),
        row("abc%5", 128, "abc", 0),
        row("abc%-+ .l", 128, "abc", 0),
        row("%n%p%d", 128, "7", 0, 7),
        row("%c%d", 128, "A7", 0, 'A', 7),
        row("%%%d|%*d%d", 128, "%5|*d6", 0, 5, 6),
        row("%d%s%c%u!", 128, "1xy2!", 0, 1, "x", 'y', 2U),
        row("Key code = 0x%X  ", 128, "Key code = 0xD  ", 0, 13U),
        // Control characters right after a conversion are text like any other.
        row("%d\001after", 128, "7\001after", 0, 7),
        row("%%\x01%c\x01", 128, "%\x01Z\x01", 0, 'Z'),
    });
}

TEST_F(ScrPrintf, NumbersWithFlagsWidthsAndExtremes) {
    check_all({
        row("%d|%i|%d", 128, "0|-7|42", 0, 0, -7, 42),
        row("%d", 128, "-2147483648", 0, INT32_MIN),
        row("%+d", 128, "+2147483647", 0, INT32_MAX),
        row("%+d|%+d|%+d", 128, "+5|-5|+0", 0, 5, -5, 0),
        row("% d|% d|% +d|%+ d", 128, " 5|-5|+5|+5", 0, 5, -5, 5, 5),
        row("%u|%u", 128, "4294967295|4294967295", 0, UINT32_MAX, -1),
        row("%x|%X|%X|%o|%o", 128, "ffffffff|FF|80000000|10|37777777777", 0, -1, 255, INT32_MIN, 8,
            -1),
        row("%+x|% X|%+u|% o", 128, "ff|FF|5|7", 0, 255, 255, 5U, 7),
        row("%ld|%lu|%lx|%hd|%Ld", 128, "-2147483648|4294967295|ffffffff|5|6", 0,
            static_cast<long>(INT32_MIN), static_cast<unsigned long>(UINT32_MAX), -1L, 5, 6),
        // Width: none, one digit, two digits; the first digit '0' chooses zero fill.
        row("[%0d][%1d][%2d][%2d]", 128, "[42][42][42][123]", 0, 42, 42, 42, 123),
        row("[%6d][%06d][%4d][%04d]", 128, "[-   42][-00042][- 42][-042]", 0, -42, -42, -42, -42),
        row("[%05d][%10d][%-6d][%-05d]", 128, "[00042][        42][42    ][42   ]", 0, 42, 42, 42,
            42),
        row("[%+6d][% 6d][%+06d][%-+6d]", 128, "[+   42][    42][+00042][+42   ]", 0, 42, 42, 42,
            42),
        row("[%08x][%-8X][%6u][%06o]", 128, "[000000ff][FF      ][     7][000010]", 0, 255, 255, 7U,
            8),
        row("[%12d][%09d][%-12d]", 128, "[- 2147483648][-2147483648][-2147483648 ]", 0, INT32_MIN,
            INT32_MIN, INT32_MIN),
        // Flags and digits in any order; a point makes later digits precision digits.
        row("[%5-d][%0+5d][%5.3d][%.3d][%5,3d]", 128, "[42   ][+0042][   42][42][   42]", 0, 42, 42,
            42, 42, 42),
    });
}

TEST_F(ScrPrintf, CharactersAndStrings) {
    check_all({
        row("[%c][%3c][%-3c][%03c][%+c][%.5c]", 128, "[A][  A][A  ][  A][A][A]", 0, 'A', 'A', 'A',
            'A', 'A', 'A'),
        row("[%c][%3c][%-3c]", 128, "[][  ][  ]", 0, 0, 0, 0),
        row("[%c]", 128, "[A]", 0, 0x141),
        row("[%5.2s][%-5.2s][%2.1s][%.1s]", 128, "[   ab][ab   ][abc][abc]", 0, "abc", "abc", "abc",
            "abc"),
        row("[%5s][%-5s][%5.9s][%3.3s][%05s]", 128, "[  abc][abc  ][  abc][abc][  abc]", 0, "abc",
            "abc", "abc", "abc", "abc"),
        row("[%s][%3s][%-3s][%s]", 128, "[][   ][   ][]", 0, "", "", "",
            static_cast<const char*>(nullptr)),
    });
}

TEST_F(ScrPrintf, EveryPieceFitsWithItsNulOrFailsWhole) {
    check_all({
        // The literal text, alone and before a '%'.
        row("0123456789", 10, "", 1),
        row("0123456789", 11, "0123456789", 0),
        row("abc%d", 3, "", 1, 5),
        row("abc%d", 4, "abc", 1, 5),
        row("abc%d", 5, "abc5", 0, 5),
        // The rest after the last conversion.
        row("%dxyz", 4, "5", 1, 5),
        row("%dxyz", 5, "5xyz", 0, 5),
        // The one-character case, tested against capacity - 1 even for the final NUL.
        row("ab%%", 3, "ab", 1),
        row("ab%%", 4, "ab%", 0),
        row("ab%", 3, "ab", 1),
        row("ab%", 4, "ab", 0),
        // Number, character and string fields.
        row("x%5d", 6, "x", 1, 42),
        row("x%5d", 7, "x   42", 0, 42),
        row("%d", 11, "", 1, INT32_MIN),
        row("%d", 12, "-2147483648", 0, INT32_MIN),
        row("%3c", 3, "", 1, 'A'),
        row("%3c", 4, "  A", 0, 'A'),
        row("%c", 1, "", 1, 0),
        row("%s", 4, "", 1, "abcd"),
        row("%s", 5, "abcd", 0, "abcd"),
        row("%6.2s", 6, "", 1, "abc"),
        row("%6.2s", 7, "    ab", 0, "abc"),
        row("%s", 1, "", 0, ""),
        // Nothing at all fits.
        row("", 0, "", 1),
        row("%d", -5, "", 1, 1),
    });
}

TEST_F(ScrPrintf, ThirdWidthOrPrecisionDigitFails) {
    check_all({
        row("ab%123d", 128, "ab", 2, 1),
        row("ab%.123s", 128, "ab", 3, "x"),
        row("%12.345d", 128, "", 3, 1),
        row("%0005d", 128, "", 2, 1),
        row("ok%d%1-2-3d", 128, "ok7", 2, 7, 8),
        row("%99.99s|%1.123", 300, std::string(98, ' ') + "x|", 3, "x"),
    });
}

TEST_F(ScrPrintf, WidthsAboveFortyThreeGiveTheWholePaddedField) {
    check_all({
        row("%44d", 128, std::string(42, ' ') + "42", 0, 42),
        row("%60x", 128, std::string(52, ' ') + "ffffffff", 0, -1),
        row("%99d", 128, "-" + std::string(97, ' ') + "1", 0, -1),
        row("%-99d", 128, "-1" + std::string(97, ' '), 0, -1),
        row("%-99u", 128, "7" + std::string(98, ' '), 0, 7U),
        row("%+99d", 128, "+" + std::string(88, ' ') + "2147483647", 0, INT32_MAX),
        row("%99d", 99, "", 1, 1),
        row("%99d", 100, std::string(98, ' ') + "1", 0, 1),
        row("ab%99d", 101, "ab", 1, 1),
    });
}

TEST_F(ScrPrintf, MarkStandsBehindTheTextOnAnEightBitColumn) {
    char out[16];
    const auto scr_printf = units().scr_printf;
    EXPECT_EQ(scr_printf(out, 6, 0, 254, "abc%5d", 12345), 1);
    const auto writes = host.trace_of(Service::VioWrtCharStr);
    ASSERT_EQ(writes.size(), 2U);
    EXPECT_EQ(writes[0].to_string(), write_call("abc", 0, 254));
    EXPECT_EQ(writes[1].to_string(), write_call("***", 0, 1));
    EXPECT_EQ(host.screen_row(0).substr(0, 5), " *** ");

    // The mark keeps the latest code until the next failure; a success leaves it alone.
    EXPECT_EQ(scr_printf(out, 16, -1, 0, "%100d", 1), 2);
    EXPECT_STREQ(overflow_mark, "*1*");
    EXPECT_EQ(scr_printf(out, 16, -1, 0, "fine"), 0);
    EXPECT_STREQ(overflow_mark, "*1*");
}

// A number conversion as the formatter reads it from a format: letter, size letter, width
// and the width digits as typed.
opkit::Conversion number_conversion(char letter, char size, int width = 0,
                                    const char* width_digits = "") {
    opkit::Conversion conv{};
    conv.letter = letter;
    conv.size = size;
    conv.width = width;
    for (int i = 0; i < opkit::conversion_digits_max && width_digits[i] != '\0'; ++i) {
        conv.width_digits[i] = width_digits[i];
    }
    return conv;
}

// Digit counts and digit pairs at every edge where the count changes (powers of ten, of
// eight and of sixteen, one below and one above), checked against the C library's text.
TEST(FormatNumber, DigitsAtEveryCountBoundaryMatchTheCLibrary) {
    std::vector<uint32_t> values = {
        0U,        1U, 9U, 10U, 11U, 99U, 100U, 101U, 0x7FFFFFFFU, 0x80000000U, UINT32_MAX - 1U,
        UINT32_MAX};
    for (uint64_t power = 1; power <= UINT32_MAX; power *= 10) {
        values.insert(values.end(), {uint32_t(power - 1), uint32_t(power), uint32_t(power + 1)});
    }
    for (int bit = 1; bit < 32; ++bit) {
        const uint32_t power = 1U << bit;
        values.insert(values.end(), {power - 1U, power, power + 1U});
    }
    for (const uint32_t value : values) {
        const auto as_signed = static_cast<int32_t>(value);
        for (const char conversion : {'d', 'u', 'x', 'X', 'o'}) {
            char field[opkit::number_field_size];
            units().format_number(number_conversion(conversion, 0), as_signed, 0, value, 0U, field);
            char expected[40];
            switch (conversion) {
            case 'd': std::snprintf(expected, sizeof expected, "%d", as_signed); break;
            case 'u': std::snprintf(expected, sizeof expected, "%u", value); break;
            case 'x': std::snprintf(expected, sizeof expected, "%x", value); break;
            case 'X': std::snprintf(expected, sizeof expected, "%X", value); break;
            default: std::snprintf(expected, sizeof expected, "%o", value); break;
            }
            EXPECT_STREQ(field, expected) << conversion << " of " << value;
        }
    }
}

TEST(FormatNumber, SizeLetterSelectsTheValueAndTheFieldNeverOverflows) {
    struct Pick {
        char conversion;
        char size;
        const char* text;
    } const picks[] = {{'d', 0, "-1"},   {'d', 'h', "-1"},         {'d', 'L', "-1"},
                       {'d', 'l', "-2"}, {'x', 'l', "fffffffe"},   {'u', 0, "3"},
                       {'u', 'l', "4"},  {'o', 'h', "37777777777"}};
    for (const Pick& pick : picks) {
        char field[opkit::number_field_size];
        units().format_number(number_conversion(pick.conversion, pick.size), -1, -2, 3U, 4U, field);
        EXPECT_STREQ(field, pick.text) << pick.conversion << pick.size;
    }

    // A width beyond what two digits allow is held to the field's size.
    char guarded[opkit::number_field_size + 8];
    std::memset(guarded, '#', sizeof guarded);
    units().format_number(number_conversion('d', 0, 500, "05"), -5, 0, 0, 0, guarded);
    EXPECT_EQ(std::strlen(guarded), static_cast<size_t>(opkit::number_field_size - 1));
    EXPECT_EQ(std::string(guarded).substr(0, 2), "-0");
    EXPECT_EQ(guarded[opkit::number_field_size], '#');
}

} // namespace
