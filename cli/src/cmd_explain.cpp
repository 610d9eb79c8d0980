// opkit-host explain and compose: records decoded without running them, and records built
// from named fields.
#include <iostream>

#include "app.h"
#include "compose.h"
#include "explain.h"

namespace opkit_cli {

namespace {

int command_explain(const std::vector<std::string>& records) {
    bool notice = false;
    for (size_t i = 0; i < records.size(); ++i) {
        if (i > 0) {
            std::cout << "\n";
        }
        const Analysis a = analyse(records[i]);
        std::cout << render_explanation(a);
        notice = notice || !a.notice.empty();
    }
    return notice ? exit_failed : exit_ok;
}

struct ComposeArgs {
    std::string function;
    std::vector<std::string> fields;
    bool quoted = false;
};

int command_compose(const ComposeArgs& args) {
    const opkit::Layout* layout = find_layout(args.function);
    if (layout == nullptr) {
        std::cerr << "opkit-host compose: no function is called \"" << args.function << "\"; "
                  << compose_functions_help() << "\n";
        return exit_error;
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
        std::cout << (args.quoted ? quote_record(c.record) : c.record) << "\n";
    } catch (const ComposeError& e) {
        std::cerr << "opkit-host compose: " << e.what() << "\n" << compose_fields_help(*layout);
        return exit_error;
    }
    return exit_ok;
}

constexpr const char* explain_footer = R"TXT(
Shows the record under a column ruler (# length digits, = name, a letter per
field, . for a field this call does not read), each field's columns, characters,
value and meaning, and the checks the function makes in its order, up to the
notice the record leads to.
Exit status: 0 no record leads to a notice, 1 some record does (as call says
when it runs it), 2 bad options.

Examples:
  opkit-host explain "29CMP_INT   03  GE   04       S"
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
    auto records = std::make_shared<std::vector<std::string>>();
    CLI::App* explain = app.add_subcommand("explain", "decode records without running them");
    explain->add_option("records", *records, "call records")->required();
    explain->footer(explain_footer);
    return [explain, records] { return explain->parsed() ? command_explain(*records) : -1; };
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
