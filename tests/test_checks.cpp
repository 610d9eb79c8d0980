// The handlers' checks as compiled from the function rows (entry/checks.h) against the same
// checks judged from the rows at run time (check_passes, check_applies: what opkit-host
// explains and warns with), over every byte in the checked columns and records that end
// inside them; and the in-place conversions under both.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "entry/checks.h"
#include "units.h"
#include "units/compiled_checks.h"

namespace {

using opkit::Check;
using opkit::FieldKind;
using opkit::Test;
using opkit_test::units;

// A record of `name` that reaches column 60, blanks after the name.
std::string base_record(const char* name) {
    std::string record = "99" + std::string(name) + std::string(60, ' ');
    return record;
}

// Every text of `width` characters over `alphabet`; a NUL in it ends the record there.
std::vector<std::string> texts_over(const std::string& alphabet, int width) {
    std::vector<std::string> texts{""};
    for (int i = 0; i < width; ++i) {
        std::vector<std::string> longer;
        for (const std::string& t : texts) {
            for (const char c : alphabet) {
                longer.push_back(t + c);
            }
        }
        texts = std::move(longer);
    }
    return texts;
}

// The record's byte in a column, as the DLL's record_char reads it. The DLL's `char` is signed
// and on ARM Linux this program's is unsigned: the register that returns the byte holds the
// DLL's sign extension, so the byte is taken from the low 8 bits explicitly.
char column_byte(const char* record, int column) {
    const auto as_int = reinterpret_cast<int (*)(const char*, int)>(
        reinterpret_cast<void (*)()>(units().record_char));
    return static_cast<char>(as_int(record, column) & 0xFF);
}

// Runs one compiled check on a record and compares what it hands on with the run-time
// reading of the same columns; returns its verdict.
bool compiled_passes(const opkit::CompiledCheck& compiled, const char* record, int32_t length) {
    const Check& check = *compiled.check;
    const opkit::CompiledVerdict v = compiled.verdict(record, length);
    if (check.test == Test::relation) {
        EXPECT_EQ(v.relation, opkit::relation_of(column_byte(record, check.field->first),
                                                 column_byte(record, check.field->first + 1)));
    } else if (check.field == nullptr) {
        // A length test hands nothing on.
    } else if (check.field->kind == FieldKind::number) {
        const opkit::Field& field = *check.field;
        EXPECT_EQ(v.value, units().record_columns_int(record, field.first,
                                                      field.width < 8 ? field.width : 7));
        EXPECT_NE(v.entry, -3) << "the value test alone decides otherwise";
    } else if (check.field->kind == FieldKind::letter) {
        EXPECT_EQ(v.letter, column_byte(record, check.field->first));
    } else {
        char text[32];
        units().record_columns_text(record, check.field->first, check.field->width, text);
        EXPECT_EQ(v.entry, opkit::entry_index(check.field->accepts, text)) << text;
    }
    return v.passes;
}

// The records a field's check is compared on: the function's record with the check's columns
// set to every text over an alphabet that holds digits, signs, blanks, letters and the NUL
// (every byte for a letter, both columns of a relation), and the record cut at every length.
std::vector<std::string> records_for(const Check& check, const char* name) {
    const std::string base = base_record(name);
    std::vector<std::string> records;
    for (size_t cut = 0; cut <= base.size(); ++cut) {
        records.push_back(base.substr(0, cut));
    }
    const opkit::Field& field = *check.field;
    int width = check.test == Test::relation ? 2 : field.width;
    std::vector<std::string> texts;
    if (width <= 2 && (field.kind != FieldKind::number || check.test == Test::relation)) {
        std::string every_byte;
        for (int c = 0; c < 256; ++c) {
            every_byte.push_back(static_cast<char>(c));
        }
        texts = texts_over(every_byte, width);
    } else if (field.kind == FieldKind::text) {
        texts = texts_over(std::string("AMERUOameruoX \0", 15), width);
    } else {
        texts = texts_over(std::string("0123456789 +-\tx\0", 16), width);
    }
    for (const std::string& text : texts) {
        std::string record = base;
        record.replace(field.first, text.size(), text);
        records.push_back(record);
    }
    return records;
}

void expect_agrees(const opkit::CompiledCheck& compiled) {
    const Check& check = *compiled.check;
    const char* name = compiled.function;
    SCOPED_TRACE(std::string(name) + " " + check.code);
    int disagreements = 0;
    const auto agree = [&](const char* record, int32_t length) {
        if (compiled_passes(compiled, record, length) !=
                units().check_passes(record, length, check) &&
            ++disagreements <= 5) {
            ADD_FAILURE() << "record \"" << record << "\" length " << length;
        }
    };
    if (check.field == nullptr) {
        // A length test reads no column: every length around every bound of the rows.
        for (int32_t length = -3; length <= 120; ++length) {
            agree(base_record(name).c_str(), length);
        }
    } else {
        for (const std::string& text : records_for(check, name)) {
            agree(text.c_str(), 99);
        }
    }
    if (check.when != nullptr) {
        for (int c = 0; c < 256; ++c) {
            std::string record = base_record(name);
            record[check.when->first] = static_cast<char>(c);
            EXPECT_EQ(compiled.applies(static_cast<char>(c)),
                      units().check_applies(record.c_str(), check))
                << "letter " << c;
        }
    }
}

std::span<const opkit::CompiledCheck> compiled_checks() {
    return {*units().compiled_checks, static_cast<size_t>(*units().compiled_check_count)};
}

bool decided_by_the_record(const Check& check) {
    switch (check.test) {
    case Test::host_read:
    case Test::host_read_byte:
    case Test::host_divisor:
    case Test::host_idle: return false;
    default: return true;
    }
}

TEST(CompiledChecks, AgreeWithTheRowsJudgedAtRunTime) {
    for (const opkit::CompiledCheck& compiled : compiled_checks()) {
        expect_agrees(compiled);
    }
}

TEST(CompiledChecks, EveryRecordCheckOfTheRowsIsCompared) {
    // The rows as the same code holds them: the compiled checks point into these.
    size_t in_rows = 0;
    const std::span<const opkit::Layout> rows{*units().compiled_rows,
                                              static_cast<size_t>(*units().compiled_row_count)};
    for (const opkit::Layout& layout : rows) {
        for (size_t i = 0; i < layout.check_count; ++i) {
            const Check& check = layout.checks[i];
            if (!decided_by_the_record(check)) {
                continue;
            }
            ++in_rows;
            int found = 0;
            for (const opkit::CompiledCheck& compiled : compiled_checks()) {
                found += opkit::same_check(*compiled.check, check) &&
                         std::strcmp(compiled.function, layout.name) == 0;
            }
            EXPECT_EQ(found, 1) << layout.name << " " << check.code;
        }
    }
    EXPECT_EQ(in_rows, compiled_checks().size());
}

TEST(CompiledChecks, HostReadsHandOverTheVariableAsTheRowSays) {
    // A byte read hands the host the low 8 bits ('-1' names 255), a full read the value.
    const std::string minus_one = "99CMP_INT   -1  EQ   -1       S";
    EXPECT_EQ(units().cmp_int_left_variable(minus_one.c_str()), 255);
    const std::string compare_minus_one = "99COMPARE     -1  EQ     -1          S";
    EXPECT_EQ(units().compare_left_variable(compare_minus_one.c_str()), -1);
    EXPECT_EQ(units().compare_right_variable(compare_minus_one.c_str()), -1);
}

// ---------------------------------------------------------------- in-place conversions

TEST(ShortTextToInt, GivesWhatTextToIntGivesForACopy) {
    const std::string alphabet(" \t+-0159a\0", 10);
    int compared_texts = 0;
    for (int width = 0; width <= 4; ++width) {
        for (const std::string& text : texts_over(alphabet, width)) {
            for (int count = 0; count <= 9; ++count) {
                const std::string copy =
                    std::string(text.c_str()).substr(0, static_cast<size_t>(count));
                ASSERT_EQ(units().short_text_to_int(text.c_str(), count),
                          units().text_to_int(copy.c_str()))
                    << "\"" << text.c_str() << "\" count " << count;
                ++compared_texts;
            }
        }
    }
    EXPECT_GT(compared_texts, 100000);
    EXPECT_EQ(units().short_text_to_int("-999999999", 10), -999999999) << "nine digits and a sign";
    EXPECT_EQ(units().short_text_to_int("123", -1), 0);
}

TEST(RecordReader, NoByteBehindTheNulIsReadAtAnyColumn) {
    // Records of exactly their own size (the NUL is the buffer's last byte), so that a read
    // past it is a read past the buffer: the sanitizer and valgrind builds see it.
    for (int end = 0; end <= 13; ++end) {
        std::vector<char> buffer(static_cast<size_t>(end) + 1);
        for (int i = 0; i < end; ++i) {
            buffer[static_cast<size_t>(i)] = static_cast<char>('0' + i % 10);
        }
        buffer[static_cast<size_t>(end)] = '\0';
        const char* record = buffer.data();
        for (int column = 0; column <= end + 6; ++column) {
            SCOPED_TRACE("end " + std::to_string(end) + ", column " + std::to_string(column));
            EXPECT_EQ(units().record_char(record, column), column < end ? record[column] : '\0');
            char text[8];
            const int copied = units().record_columns_text(record, column, 3, text);
            const int expected = column >= end ? 0 : std::min(3, end - column);
            EXPECT_EQ(copied, expected);
            EXPECT_EQ(std::string(text), std::string(record + std::min(column, end), expected));
            EXPECT_EQ(units().record_columns_int(record, column, 3), units().text_to_int(text));
        }
    }
}

} // namespace
