// opkit-host explain and compose: records decoded without running them, and records built
// from named fields.
#include <iostream>

#include "app.h"
#include "compose.h"
#include "explain.h"
#include "render.h"
#include "report_formats.h"
#include "warnings.h"

namespace opkit_cli {

namespace {

struct ExplainArgs {
    std::vector<std::string> records;
    bool strict = false;
    bool json = false;
};

// A record longer than any the tool takes is refused with the limit (throws Failure).
void check_bounds(const std::vector<std::string>& records) {
    for (const std::string& record : records) {
        if (const std::string why = record_too_long(record); !why.empty()) {
            throw Failure("opkit-host: " + why);
        }
    }
}

int command_explain(const ExplainArgs& args) {
    check_bounds(args.records);
    bool notice = false;
    bool warned = false;
    for (size_t i = 0; i < args.records.size(); ++i) {
        const Analysis a = analyse(args.records[i]);
        const std::vector<RecordWarning> warnings = record_warnings(a);
        if (args.json) {
            std::cout << (i == 0 ? "[" : ",\n ") << analysis_json(a);
        } else {
            std::cout << (i == 0 ? "" : "\n") << render_explanation(a)
                      << render_warnings(warnings, "");
        }
        notice = notice || !a.notice.empty();
        warned = warned || !warnings.empty();
    }
    if (args.json) {
        std::cout << "]\n";
    }
    return notice || (args.strict && warned) ? exit_failed : exit_ok;
}

struct ComposeArgs {
    std::string function;
    std::vector<std::string> fields;
    bool quoted = false;
};

int command_compose(const ComposeArgs& args) {
    const opkit::Layout* layout = find_layout(args.function);
    if (layout == nullptr) {
        throw Failure("opkit-host compose: " + printable(unknown_function(args.function)));
    }
    if (args.fields.empty()) {
        std::cout << compose_fields_help(*layout);
        return exit_ok;
    }
    std::vector<FieldAssignment> assignments;
    try {
        for (size_t i = 0; i < args.fields.size(); ++i) {
            assignments.push_back(parse_assignment(args.fields[i], static_cast<int>(i)));
        }
        const Composed c = compose_record(args.function, assignments);
        for (const std::string& note : c.notes) {
            std::cerr << "opkit-host compose: note: " << note << "\n";
        }
        std::cout << (args.quoted ? quoted_text(c.record) : c.record) << "\n";
    } catch (const ComposeError& e) {
        throw Failure(std::string("opkit-host compose: ") + e.what() + "\n" +
                      compose_fields_help(*layout));
    }
    return exit_ok;
}

constexpr const char* explain_footer = R"TXT(
Shows the record under a column ruler (# length digits, = name, a letter per
field, . for a field this call does not read), each field's columns, characters,
value and meaning, and the checks the function makes in its order, up to the
notice the record leads to.
Warnings follow for characters in columns that no field reads, length digits
that disagree with the record's real length, and a field read past the end of a
record that passes the length checks.
Exit status: 0 no record leads to a notice, 1 some record does (as call says
when it runs it) or, with --strict, has a warning, 2 bad options.

Examples:
  opkit-host explain "29CMP_INT   03  GE   04       S"
  opkit-host explain --json --strict "29CMP_INT   03 GE   04        S"
  opkit-host explain "$(opkit-host compose TM_DATE hours=24 time_variable=4 style=EURO date_variable=5)"
)TXT";

constexpr const char* compose_footer = R"TXT(
Prints the record (length digits included). Without fields, lists the function's
fields and the values each takes.

Examples:
  opkit-host compose CMP_INT left=3 relation=GE right=4 mode=S
  opkit-host compose DICOUNT operation=store counter=5 variable=3
  opkit-host compose POPUPWN
)TXT";

} // namespace

Command add_explain_command(CLI::App& app) {
    auto args = std::make_shared<ExplainArgs>();
    CLI::App* explain = app.add_subcommand("explain", "decode records without running them");
    explain->add_option("records", args->records, "call records")->required();
    explain->add_flag("--strict", args->strict, "a warning fails like a notice (exit status 1)");
    explain->add_flag("--json", args->json,
                      "print a JSON array: per record its fields, checks, notice and warnings");
    explain->footer(explain_footer);
    return [explain, args] { return explain->parsed() ? command_explain(*args) : -1; };
}

Command add_compose_command(CLI::App& app) {
    auto args = std::make_shared<ComposeArgs>();
    CLI::App* compose = app.add_subcommand("compose", "build a record from named fields");
    std::string names;
    for (const opkit::Layout& layout : opkit::layouts) {
        names += (names.empty() ? "" : ", ") + std::string(layout.name);
    }
    compose->add_option("function", args->function, names)->required();
    compose->add_option("fields", args->fields, "field=value ...");
    compose->add_flag("--quoted", args->quoted,
                      "print the record in double quotes, as a script writes it");
    compose->footer(compose_footer);
    return [compose, args] { return compose->parsed() ? command_compose(*args) : -1; };
}

} // namespace opkit_cli
