// Where opkit-host finds its plug-in, and the version it reports.
#pragma once

#include <string>

namespace opkit_cli {

// The project version this tool was built from, e.g. "1.0.0".
const char* tool_version();

// Where the plug-in is: `requested` when given; else the plug-in beside this program (a build
// tree, or a Windows install); else the one in ../lib/opkit/ (an installed tree). Both places
// are found from this program's own location, never from a path fixed at build time. Empty,
// with `tried` listing the places looked at, when neither exists.
// A requested name is a path, relative to the current folder.
std::string locate_plugin(const std::string& requested, std::string& tried);

// The plug-in file as a report names it: its path, size and modification time.
std::string describe_plugin_file(const std::string& path);

} // namespace opkit_cli
