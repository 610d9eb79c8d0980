// Dispatch over the function rows (searched by name in one step), and the reading of the call
// record header.
#include "entry/dispatch.h"

#include "entry/globals.h"
#include "entry/layouts.h"
#include "entry/record.h"
#include "functions/handlers.h"
#include "host/runtime.h"
#include "notices/notices.h"
#include "screen/screen.h"

namespace opkit {

int32_t record_length;
char scratch_text[scratch_size];

namespace {

// The lookup. The seven name columns, zero after the name's end, are read as one 64-bit
// word with ASCII letters folded to upper case (all eight bytes at once); a multiplicative
// hash of that key picks one of sixteen slots, and one compare settles the match. Every
// name, listed or not, costs the same. The multiplier and the slots are worked out at compile
// time from the rows, so a renamed or added function needs no other edit.
constexpr uint64_t byte_ones = 0x0101010101010101ULL;

constexpr uint64_t fold_upper(uint64_t word) {
    const uint64_t low_bits = word & (0x7FU * byte_ones);
    const uint64_t from_a = low_bits + (0x80U - 'a') * byte_ones; // top bit set: at least 'a'
    const uint64_t past_z = low_bits + (0x7FU - 'z') * byte_ones; // top bit set: beyond 'z'
    // Bytes with the top bit set are not letters and stay as they are.
    const uint64_t lower = from_a & ~past_z & ~word & (0x80U * byte_ones);
    return word ^ (lower >> 2); // 0x80 >> 2 is the case bit 0x20
}

constexpr uint64_t name_key(const NameColumns& name) {
    struct Word {
        char bytes[name_columns + 1];
    } word{};
    for (int i = 0; i <= name_columns; ++i) {
        word.bytes[i] = name[i];
    }
    return fold_upper(__builtin_bit_cast(uint64_t, word));
}

constexpr uint64_t key_of_text(const char* text) {
    NameColumns columns = {};
    for (int i = 0; i < name_columns && text[i] != '\0'; ++i) {
        columns[i] = text[i];
    }
    return name_key(columns);
}

constexpr int name_slot_bits = 4;
constexpr int name_slot_count = 1 << name_slot_bits;
constexpr int table_size = static_cast<int>(count_of(layouts));
static_assert(table_size <= name_slot_count);

struct NameSlot {
    uint64_t key; // 0 in an empty slot: no name of seven characters has that key
    int index;
};

struct NameSlots {
    uint32_t multiplier;
    NameSlot slot[name_slot_count];
};

// The two halves of the key are folded into 32 bits first, so that the hash is one 32-bit
// multiplication on every target.
constexpr int slot_for(uint64_t key, uint32_t multiplier) {
    const uint32_t folded = static_cast<uint32_t>(key) ^ static_cast<uint32_t>(key >> 32);
    return static_cast<int>((folded * multiplier) >> (32 - name_slot_bits));
}

// Tries odd multipliers from a fixed sequence until every row's key falls into a slot of its
// own (for the ten rows, about one try in forty succeeds). Two rows of one name share a key
// and never do: the build then stops at the static_assert below.
constexpr NameSlots make_name_slots() {
    uint32_t multiplier = 0x9E3779B9U;
    for (int attempt = 0; attempt < 100000; ++attempt) {
        NameSlots slots{multiplier, {}};
        bool clash = false;
        for (int i = 0; i < table_size && !clash; ++i) {
            const uint64_t key = key_of_text(layouts[i].name);
            NameSlot& slot = slots.slot[slot_for(key, multiplier)];
            clash = slot.key != 0;
            slot = {key, i};
        }
        if (!clash) {
            for (NameSlot& slot : slots.slot) {
                if (slot.key == 0) {
                    slot.index = -1;
                }
            }
            return slots;
        }
        multiplier = (multiplier * 1664525U + 1013904223U) | 1U;
    }
    return {};
}

constexpr NameSlots name_slots = make_name_slots();
static_assert(name_slots.multiplier != 0, "no multiplier separates the function names");

int name_slot_of(uint64_t key) {
    return slot_for(key, name_slots.multiplier);
}

// What a call needs of its function's row: the handler, and whether the host receives its
// result. Taken from the rows at compile time, so that the rows themselves, with their field
// texts for opkit-host, stay out of the library.
struct Route {
    Handler handler;
    bool returns_result;
};

struct Routes {
    Route route[table_size];
};

constexpr Routes make_routes() {
    Routes routes{};
    for (int i = 0; i < table_size; ++i) {
        routes.route[i] = {layouts[i].handler, layouts[i].returns_result};
    }
    return routes;
}

constexpr Routes routes = make_routes();

constexpr bool routes_follow_rows() {
    for (int i = 0; i < table_size; ++i) {
        if (routes.route[i].handler != layouts[i].handler ||
            routes.route[i].returns_result != layouts[i].returns_result) {
            return false;
        }
    }
    return true;
}
static_assert(routes_follow_rows(), "a route differs from its row");

int run_record(char* record) {
    // The name: seven columns from column 2, ending early at the record's end.
    NameColumns name = {};
    record_field_text(record, header_name, name);

    // The length digits pass through scratch_text on their way to record_length.
    record_field_text(record, header_length, scratch_text);
    record_length = short_text_to_int(scratch_text, header_length.width);

    const int index = dispatch_find_columns(name);
    if (index < 0) {
        cfr_bad_param(record, "M1");
        return 0;
    }
    const Route& route = routes.route[index];
    const int result = route.handler(record);
    return route.returns_result ? result : 0;
}

} // namespace

int dispatch_find_columns(const NameColumns& name) {
    const uint64_t key = name_key(name);
    const NameSlot& slot = name_slots.slot[name_slot_of(key)];
    return slot.key == key ? slot.index : -1;
}

int dispatch_find(const char* name) {
    NameColumns columns = {};
    for (int i = 0; name[i] != '\0'; ++i) {
        if (i == name_columns) {
            return -1; // longer than any name
        }
        columns[i] = name[i];
    }
    return dispatch_find_columns(columns);
}

int opkit_main(int message, char* record) {
    int inner_rows = 0;
    int inner_width = 0;
    uint8_t inner_top = 0;
    uint8_t inner_left = 0;
    switch (static_cast<unsigned>(message)) {
    case 0:
    case 2: popup_window('X', 0, 0, &inner_rows, &inner_width, &inner_top, &inner_left); return 0;
    case 3: return run_record(record);
    case 5: screen_self_test(); return 0;
    default: return 0;
    }
}

} // namespace opkit
