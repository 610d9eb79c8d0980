// Everything the command-line host knows about the plug-in's functions, in one header: the
// function rows with their fields and checks, the record reader, the plug-in's own name lookup,
// the relation and result-mode readings, the notice texts, the delay's pass formula and the
// user variable range. The tool includes this header and nothing else of the plug-in, so that
// every fact it uses is the one the plug-in itself is built from.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "entry/accepts.h"
#include "entry/dispatch.h"
#include "entry/layouts.h"
#include "entry/record.h"
#include "functions/relation.h"
#include "host/runtime.h"
#include "notices/notices.h"

namespace opkit {

// The row of the function `name` names (ASCII case ignored), found by the lookup that each
// call makes; null when none does. `length` counts the name's characters: a name that holds
// a NUL or is longer than any function's name selects none. The rows are constants of each
// file that includes them, so the function is too: it answers with a row of its own file.
static inline const Layout* find_function(const char* name, size_t length) {
    if (length > static_cast<size_t>(name_columns)) {
        return nullptr;
    }
    NameColumns columns = {};
    for (size_t i = 0; i < length; ++i) {
        if (name[i] == '\0') {
            return nullptr;
        }
        columns[i] = name[i];
    }
    const int index = dispatch_find_columns(columns);
    return index < 0 ? nullptr : &layouts[index];
}

// The relations by their names and symbols, with the letters that write each in a record.
struct RelationName {
    Relation relation;
    char first;  // the relation letter
    char second; // the letter in the paired column (blank: any)
    const char* name;
    const char* symbol;
};

constexpr RelationName relation_names[] = {
    {Relation::eq, 'E', ' ', "EQ", "="},  {Relation::ne, 'N', ' ', "NE", "!="},
    {Relation::ge, 'G', 'E', "GE", ">="}, {Relation::gt, 'G', 'T', "GT", ">"},
    {Relation::le, 'L', 'E', "LE", "<="}, {Relation::lt, 'L', 'T', "LT", "<"},
};

// The entry for a relation; null for Relation::none.
static constexpr const RelationName* relation_name_of(Relation relation) {
    for (const RelationName& entry : relation_names) {
        if (entry.relation == relation) {
            return &entry;
        }
    }
    return nullptr;
}

constexpr bool relation_names_read_back() {
    for (const RelationName& entry : relation_names) {
        if (relation_of(entry.first, entry.second) != entry.relation) {
            return false;
        }
    }
    return true;
}
static_assert(relation_names_read_back(), "a relation name's letters read as another relation");

// Whether a relation letter needs the paired column's letter to name a relation.
constexpr bool relation_needs_second(char first) {
    return relation_of(first, ' ') == Relation::none && relation_of(first, 'E') != Relation::none;
}

} // namespace opkit
