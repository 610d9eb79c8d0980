// Loads the opkit plug-in the way a host does (dlopen, LoadLibrary, or on the loader builds
// hostsim's own PE loader; then `main`) and calls it.
#pragma once

#include <string>
#include <string_view>

#include "hostsim/host.h"

namespace hostsim {

class HOSTSIM_API Plugin {
  public:
    using Entry = int (*)(int message, char* record);

    explicit Plugin(std::string path);
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    // Loads the library and finds `main`; false with error() set when either fails.
    bool load();
    void unload();
    bool loaded() const { return entry_ != nullptr; }
    const std::string& error() const { return error_; }
    const std::string& path() const { return path_; }

    // Address of another export of the loaded library, a function or data; nullptr when it
    // has none or is not loaded. (The unit-test DLL exports the internals beside `main`.)
    void* symbol(std::string_view name) const;

    // Calls `main`. The record is copied into a buffer of its own, NUL-terminated.
    int message(int code);
    int call(std::string_view record);
    // Calls `main` with exactly this pointer (which may be null).
    int call_raw(int code, char* record);

  private:
    std::string path_;
    std::string error_;
    void* handle_ = nullptr;
    Entry entry_ = nullptr;
};

// The plug-in's file name on this platform (opkit.so, opkit.dll, ...), as the build names it.
HOSTSIM_API std::string plugin_file_name();

} // namespace hostsim
