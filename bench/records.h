// Call records for the benchmarks, composed from the record layouts so that a benchmark
// always hands a function the columns that the function reads.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "entry/layouts.h"

namespace opkit_bench {

struct Placed {
    const opkit::Field& field;
    std::string_view text;
};

// A record of `length` (written in the two length digits), `length` + 2 characters long,
// with the name in columns 2-8, each text at its field's first column and blanks elsewhere.
inline std::string make_record(int length, std::string_view name,
                               std::initializer_list<Placed> fields = {}) {
    std::string record(static_cast<size_t>(length) + 2, ' ');
    record[0] = static_cast<char>('0' + length / 10 % 10);
    record[1] = static_cast<char>('0' + length % 10);
    record.replace(opkit::header_name.first, name.size(), name);
    for (const Placed& placed : fields) {
        const size_t end = placed.field.first + placed.text.size();
        if (end > record.size()) {
            record.resize(end, ' ');
        }
        record.replace(placed.field.first, placed.text.size(), placed.text);
    }
    return record;
}

} // namespace opkit_bench
