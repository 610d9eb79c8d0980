// A small loader for 32-bit Windows DLLs, so that a Linux process of the same processor (i386
// or 32-bit ARM) runs a plug-in DLL's own machine code: it maps the sections, applies the base
// relocations, binds the imports by name to functions of this process, calls the entry with
// the process attach and finds exports by name. Test support for the emulated host, private to
// hostlib (which loads the plug-in through it, see hostsim/plugin.h); its own tests reach it
// through a test-only include path. It binds exactly the imports that the plug-in's import
// lists name (src/entry/imports) and refuses every other one by name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hostsim/host.h"

namespace hostsim {

struct PeLoadOptions {
    // Test hook: when false, the image keeps the absolute addresses that the linker wrote for
    // its preferred base although it is mapped elsewhere, as a loader that ignored the
    // relocations would leave it.
    bool apply_relocations = true;
};

class HOSTSIM_API PeImage {
  public:
    PeImage() = default;
    ~PeImage();
    PeImage(const PeImage&) = delete;
    PeImage& operator=(const PeImage&) = delete;

    // Loads the DLL; false with error() set when the file is not a DLL for this processor,
    // is malformed, or imports anything this loader does not provide. The image is always
    // mapped away from its preferred base, so every load exercises its relocations.
    bool load_file(const std::string& path, PeLoadOptions options = {});
    bool load(const std::vector<uint8_t>& file, const std::string& name,
              PeLoadOptions options = {});
    // Calls the entry with the process detach and unmaps the image.
    void unload();

    bool loaded() const { return base_ != nullptr; }
    const std::string& error() const { return error_; }
    // Address of the function or data exported under `name`; a function's is callable from
    // this process (on ARM with the Thumb bit set). nullptr when there is no such export.
    void* find_export(std::string_view name) const;

    uintptr_t base() const { return reinterpret_cast<uintptr_t>(base_); }
    uint32_t preferred_base() const { return preferred_base_; }
    // The number of addresses that the base relocations adjusted.
    uint32_t relocations_applied() const { return relocations_applied_; }

  private:
    bool fail(std::string why);
    bool map(const std::vector<uint8_t>& file);
    bool relocate();
    bool bind_imports();
    bool protect();
    bool attach();
    // Whether the address lies in a section of code.
    bool executable(uint32_t rva) const;

    std::string name_;
    std::string error_;
    uint8_t* base_ = nullptr;
    size_t mapped_size_ = 0;
    uint32_t image_size_ = 0;
    uint32_t preferred_base_ = 0;
    uint32_t entry_rva_ = 0;
    uint32_t relocations_applied_ = 0;
    bool attached_ = false;
    struct Directory {
        uint32_t rva = 0;
        uint32_t size = 0;
    };
    Directory exports_, imports_, relocations_;
    struct Section {
        uint32_t rva = 0;
        uint32_t size = 0;
        uint32_t flags = 0;
    };
    std::vector<Section> sections_;
};

// The function of this process that the loader binds `dll`!`function` to (the DLL name is
// matched without regard to case), or nullptr when it provides none.
HOSTSIM_API void* pe_import(std::string_view dll, std::string_view function);

// Every import that the loader binds, as "dll!function" with the DLL name in lower case.
HOSTSIM_API std::vector<std::string> pe_import_names();

} // namespace hostsim
