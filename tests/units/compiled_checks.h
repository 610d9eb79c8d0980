// The handlers' checks in the form compiled from the function rows, made callable one by one
// for the unit tests. Built into the unit-test DLL with the deliverable's compiler and flags
// (and into the test program where the plug-in is not a DLL), so that the tests compare the
// compiled checks as the DLL's own code makes them with the rows judged at run time.
#pragma once

#include "entry/layouts.h"
#include "functions/relation.h"

#include <stdint.h>

namespace opkit {

// What a compiled check decides about a record of a given length, and what it hands on to the
// handler: the number read, the letter, the word's position in its list or the relation.
struct CompiledVerdict {
    bool passes;
    int32_t value;
    char letter;
    int entry;
    Relation relation;
};

// One check that the record alone decides, as a handler makes it; `applies` says whether it
// belongs to calls whose letter field holds a given letter.
struct CompiledCheck {
    const Check* check;
    const char* function;
    CompiledVerdict (*verdict)(const char* record, int32_t length);
    bool (*applies)(char letter);
};

extern const CompiledCheck compiled_checks[];
extern const int compiled_check_count;

// The rows themselves, as the same code holds them: the checks above point into these.
extern const Layout* const compiled_rows;
extern const int compiled_row_count;

// The user variable that each host-read check hands the host, read from a record.
int32_t cmp_int_left_variable(const char* record);
int32_t compare_left_variable(const char* record);
int32_t compare_right_variable(const char* record);

} // namespace opkit
