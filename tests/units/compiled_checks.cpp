// The compiled checks of every function row, one entry per check that the record alone
// decides (see compiled_checks.h).
#include "compiled_checks.h"

#include "entry/checks.h"
#include "entry/record.h"

namespace opkit {

namespace {

template <const Check& check> CompiledVerdict verdict(const char* record, int32_t length) {
    CompiledVerdict v{false, -12345, '?', -2, Relation::none};
    if constexpr (check.test == Test::length_at_least || check.test == Test::length_at_most) {
        v.passes = length_passes<check>(length);
    } else if constexpr (check.test == Test::relation) {
        v.passes = relation_passes<check>(record, v.relation);
    } else if constexpr (check.field->kind == FieldKind::number) {
        v.passes = value_passes<check>(record, v.value);
        // The value test alone must agree with the test that read the value itself.
        if (value_accepted<check>(v.value) != v.passes) {
            v.entry = -3;
        }
    } else if constexpr (check.field->kind == FieldKind::letter) {
        v.passes = letter_passes<check>(record, v.letter);
    } else {
        v.passes = word_passes<check>(record, v.entry);
    }
    return v;
}

template <const Check& check> bool applies(char letter) {
    if constexpr (check.when != nullptr) {
        return applies_to<check>(letter);
    } else {
        return true;
    }
}

template <const Check& check> constexpr CompiledCheck compiled(const char* function) {
    return {&check, function, &verdict<check>, &applies<check>};
}

namespace dc = dicount;
namespace pw = popupwn;
namespace cp = compare;
namespace ci = cmp_int;
namespace im = intmath;
namespace cu = chkuniq;
namespace td = tm_date;

} // namespace

extern const CompiledCheck compiled_checks[] = {
    compiled<dc::length>("DICOUNT"),          compiled<dc::counter_range>("DICOUNT"),
    compiled<dc::store_length>("DICOUNT"),    compiled<dc::variable_range>("DICOUNT"),
    compiled<dc::known_operation>("DICOUNT"), compiled<pw::open_length>("POPUPWN"),
    compiled<pw::rows_range>("POPUPWN"),      compiled<pw::close_length>("POPUPWN"),
    compiled<cp::length>("COMPARE"),          compiled<cp::known_mode>("COMPARE"),
    compiled<cp::known_relation>("COMPARE"),  compiled<ci::length>("CMP_INT"),
    compiled<ci::known_mode>("CMP_INT"),      compiled<ci::known_relation>("CMP_INT"),
    compiled<im::length>("INTMATH"),          compiled<im::known_operator>("INTMATH"),
    compiled<cu::verify_length>("CHKUNIQ"),   compiled<cu::verify_list_range>("CHKUNIQ"),
    compiled<cu::reset_length>("CHKUNIQ"),    compiled<cu::reset_list_range>("CHKUNIQ"),
    compiled<td::length>("TM_DATE"),          compiled<td::time_range>("TM_DATE"),
    compiled<td::date_range>("TM_DATE"),      compiled<td::known_hours>("TM_DATE"),
    compiled<td::known_style>("TM_DATE"),     compiled<tranmsg::length>("TRANMSG"),
    compiled<v_delay::length>("V_DELAY"),     compiled<wait_uv::length>("WAIT_UV"),
};
extern const int compiled_check_count = sizeof compiled_checks / sizeof compiled_checks[0];

extern const Layout* const compiled_rows = layouts;
extern const int compiled_row_count = sizeof layouts / sizeof layouts[0];

int32_t cmp_int_left_variable(const char* record) {
    return variable_named<ci::left_read>(record);
}
int32_t compare_left_variable(const char* record) {
    return variable_named<cp::left_read>(record);
}
int32_t compare_right_variable(const char* record) {
    return variable_named<cp::right_read>(record);
}

} // namespace opkit
