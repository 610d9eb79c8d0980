// The record reader and the number conversion that every handler relies on, and the
// case-insensitive compare on both sides of the plug-in.
#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/hostlib.h"
#include "units.h"

namespace {

using opkit_test::units;

// The reader and conversion under test, under their own names.
int32_t text_to_int(const char* text) {
    return units().text_to_int(text);
}
char record_char(const char* record, int column) {
    return units().record_char(record, column);
}

TEST(RecordReader, ColumnsAtOrPastTheEndReadAsNul) {
    // The bytes behind the NUL are poison: a reader that looks at them would see 'X'.
    const char buffer[] = "07ABC\0XXXXXXXXXXXXXXXX";
    EXPECT_EQ(record_char(buffer, 0), '0');
    EXPECT_EQ(record_char(buffer, 4), 'C');
    EXPECT_EQ(record_char(buffer, 5), '\0');
    EXPECT_EQ(record_char(buffer, 6), '\0');
    EXPECT_EQ(record_char(buffer, 20), '\0');
    EXPECT_EQ(record_char(nullptr, 0), '\0');
    EXPECT_EQ(record_char(buffer, -1), '\0');
    // An empty record: its very first byte is the NUL.
    const char empty[] = "\0XX";
    EXPECT_EQ(record_char(empty, 1), '\0');
    EXPECT_EQ(record_char(empty, 2), '\0');
}

TEST(RecordReader, FieldTextStopsAtTheRecordEnd) {
    const char buffer[] = "30DICOUNT I         0\0"
                          "7XXXXXXXXXXXXXX";
    char out[8];
    const opkit::Field counter{"counter", 20, 2, opkit::FieldKind::number, 0, 0, nullptr, ""};
    EXPECT_EQ(units().record_field_text(buffer, counter, out), 1);
    EXPECT_STREQ(out, "0");
    const opkit::Field beyond{"beyond", 25, 3, opkit::FieldKind::number, 0, 0, nullptr, ""};
    EXPECT_EQ(units().record_field_text(buffer, beyond, out), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(units().record_field_int(buffer, beyond), 0);
}

TEST(RecordReader, FieldValuesReadLikeAtoi) {
    const opkit::Field two{"n", 0, 2, opkit::FieldKind::number, 0, 0, nullptr, ""};
    EXPECT_EQ(units().record_field_int(" 7", two), 7);
    EXPECT_EQ(units().record_field_int("+7", two), 7);
    EXPECT_EQ(units().record_field_int("07", two), 7);
    EXPECT_EQ(units().record_field_int("7x", two), 7);
    EXPECT_EQ(units().record_field_int("-1", two), -1);
    EXPECT_EQ(units().record_field_int("ab", two), 0);
    EXPECT_EQ(units().record_field_int("  ", two), 0);
    EXPECT_EQ(units().record_field_int("123", two), 12) << "only the field's columns take part";
}

TEST(TextToInt, AcceptsBlanksSignAndStopsAtFirstNonDigit) {
    EXPECT_EQ(text_to_int(""), 0);
    EXPECT_EQ(text_to_int("abc"), 0);
    EXPECT_EQ(text_to_int(" \t\n12abc"), 12);
    EXPECT_EQ(text_to_int("-0"), 0);
    EXPECT_EQ(text_to_int("+-3"), 0);
    EXPECT_EQ(text_to_int("- 3"), 0);
    EXPECT_EQ(text_to_int("0000000000000000000042"), 42);
}

TEST(TextToInt, SaturatesOutsideThe32BitRange) {
    EXPECT_EQ(text_to_int("2147483647"), INT32_MAX);
    EXPECT_EQ(text_to_int("2147483648"), INT32_MAX);
    EXPECT_EQ(text_to_int("-2147483648"), INT32_MIN);
    EXPECT_EQ(text_to_int("-2147483649"), INT32_MIN);
    EXPECT_EQ(text_to_int("99999999999999999999999999999999"), INT32_MAX);
    EXPECT_EQ(text_to_int("-99999999999999999999999999999999"), INT32_MIN);
    EXPECT_EQ(text_to_int(std::string(131, '9').c_str()), INT32_MAX);
}

TEST(SignedToText, WritesEveryValueWithoutLeadingZeros) {
    char out[12];
    struct Case {
        int32_t value;
        const char* text;
    };
    for (const Case& c :
         {Case{0, "0"}, Case{7, "7"}, Case{-7, "-7"}, Case{10, "10"}, Case{INT32_MAX, "2147483647"},
          Case{INT32_MIN, "-2147483648"}, Case{-1, "-1"}}) {
        EXPECT_EQ(units().signed_to_text(c.value, out), static_cast<int>(std::strlen(c.text)));
        EXPECT_STREQ(out, c.text);
    }
}

TEST(CompareNoCase, EqualButForCase) {
    EXPECT_EQ(units().text_compare_nocase("amer", "AMER"), 0);
    EXPECT_EQ(units().text_compare_nocase("Amer", "AMER"), 0);
    EXPECT_NE(units().text_compare_nocase("AMEX", "AMER"), 0);
    EXPECT_NE(units().text_compare_nocase("AME", "AMER"), 0);
}

#if !defined(_WIN32)
// Under a single-byte locale the C library's tolower folds letters above 0x7F as well (0xC4
// to 0xE4 in Latin-1). The plug-in's compare and hostlib's stricmp, which explain and the
// emulated host use, fold ASCII letters alone, as the dispatch lookup does, whatever the
// locale of the program around them. The locale is made in the build tree.
TEST(CompareNoCase, FoldsAsciiLettersAloneUnderASingleByteLocale) {
    ASSERT_EQ(setenv("LOCPATH", OPKIT_TEST_LOCALE_DIR, 1), 0);
    struct Restore {
        ~Restore() {
            std::setlocale(LC_CTYPE, "C");
            unsetenv("LOCPATH");
        }
    } const restore;
    ASSERT_NE(std::setlocale(LC_CTYPE, "en_US.ISO-8859-1"), nullptr)
        << "no en_US.ISO-8859-1 in " OPKIT_TEST_LOCALE_DIR;
    ASSERT_EQ(std::tolower(0xC4), 0xE4) << "the locale folds 0xC4 to 0xE4";

    const struct {
        const char* name;
        int (*compare)(const char*, const char*);
    } compares[] = {{"hostlib's stricmp", &stricmp},
                    {"the plug-in's compare", units().text_compare_nocase}};
    for (const auto& [name, compare] : compares) {
        SCOPED_TRACE(name);
        EXPECT_NE(compare("\xC4", "\xE4"), 0);
        EXPECT_NE(compare("TM_D\xC4TE", "tm_d\xE4te"), 0);
        EXPECT_EQ(compare("TM_D\xC4TE", "tm_d\xC4te"), 0);
        EXPECT_LT(compare("Z", "\xE4"), 0) << "bytes compare unsigned";
    }
    EXPECT_EQ(units().dispatch_find("tm_date"), 6);
    EXPECT_EQ(units().dispatch_find("TM_D\xC4TE"), -1);
}
#endif

} // namespace
