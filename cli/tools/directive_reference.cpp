// Prints the script directives' reference as Markdown, from the table the parser reads them
// with: what tools/update-docs.sh puts into the tool's manual, and what the test of the manual
// compares it with.
#include <iostream>

#include "script.h"

int main() {
    std::cout << opkit_cli::directive_reference();
    return std::cout.flush() ? 0 : 1;
}
