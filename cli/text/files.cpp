// The names that messages give file arguments.
#include "files.h"

#include "text.h"

namespace opkit_cli {

std::string file_label(const std::string& file) {
    return file == "-" ? "(standard input)" : printable(file);
}

} // namespace opkit_cli
