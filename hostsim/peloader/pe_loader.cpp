// Maps a 32-bit Windows DLL into this process and prepares it to run: sections, base
// relocations, imports bound by name, page protections, the entry's process attach.
#include "pe_loader.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace hostsim {

namespace {

#if defined(__i386__)
constexpr uint16_t kMachine = 0x014C; // i386
#define OPKIT_WINAPI __attribute__((stdcall))
#elif defined(__arm__)
constexpr uint16_t kMachine = 0x01C4; // ARM Thumb-2 (ARMNT)
#define OPKIT_WINAPI
#else
#error "the PE loader runs 32-bit x86 or ARM DLLs only, in a process of that processor"
#endif

using DllEntry = int(OPKIT_WINAPI*)(void* module, uint32_t reason, void* reserved);
constexpr uint32_t kProcessDetach = 0;
constexpr uint32_t kProcessAttach = 1;

constexpr uint16_t kFileDll = 0x2000;
constexpr uint16_t kMagicPe32 = 0x010B;
constexpr uint32_t kSectionExecute = 0x20000000;
constexpr uint32_t kSectionWrite = 0x80000000;
constexpr uint32_t kImportByOrdinal = 0x80000000;

constexpr uint16_t kRelocAbsolute = 0;   // padding
constexpr uint16_t kRelocHighLow = 3;    // a 32-bit address
constexpr uint16_t kRelocThumbMov32 = 7; // a Thumb-2 movw/movt pair that loads an address

uint32_t read16(const uint8_t* p) {
    return static_cast<uint32_t>(p[0] | (p[1] << 8));
}

uint32_t read32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void write32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

// The 16-bit immediate of a Thumb-2 movw or movt, whose two halfwords hold imm4:i:imm3:imm8.
uint32_t thumb_mov_immediate(const uint8_t* p) {
    const uint32_t first = read16(p);
    const uint32_t second = read16(p + 2);
    return ((first & 0x000F) << 12) | ((first & 0x0400) << 1) | ((second & 0x7000) >> 4) |
           (second & 0x00FF);
}

void set_thumb_mov_immediate(uint8_t* p, uint32_t value) {
    uint32_t first = read16(p) & ~0x040Fu;
    uint32_t second = read16(p + 2) & ~0x70FFu;
    first |= ((value >> 12) & 0x000F) | ((value >> 1) & 0x0400);
    second |= ((value << 4) & 0x7000) | (value & 0x00FF);
    p[0] = static_cast<uint8_t>(first);
    p[1] = static_cast<uint8_t>(first >> 8);
    p[2] = static_cast<uint8_t>(second);
    p[3] = static_cast<uint8_t>(second >> 8);
}

bool is_thumb_movw(const uint8_t* p) {
    return (read16(p) & 0xFBF0) == 0xF240;
}
bool is_thumb_movt(const uint8_t* p) {
    return (read16(p) & 0xFBF0) == 0xF2C0;
}

// Code addresses handed out for an ARM image are Thumb addresses.
uintptr_t code_address(uintptr_t address) {
#if defined(__arm__)
    return address | 1U;
#else
    return address;
#endif
}

} // namespace

PeImage::~PeImage() {
    unload();
}

bool PeImage::fail(std::string why) {
    error_ = name_ + ": " + std::move(why);
    if (base_ != nullptr) {
        munmap(base_, mapped_size_);
        base_ = nullptr;
    }
    return false;
}

bool PeImage::load_file(const std::string& path, PeLoadOptions options) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        name_ = path;
        return fail("cannot be read");
    }
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    return load(file, path, options);
}

bool PeImage::load(const std::vector<uint8_t>& file, const std::string& name,
                   PeLoadOptions options) {
    unload();
    name_ = name;
    error_.clear();
    relocations_applied_ = 0;
    if (!map(file)) {
        return false;
    }
    if (options.apply_relocations && !relocate()) {
        return false;
    }
    return bind_imports() && protect() && attach();
}

bool PeImage::map(const std::vector<uint8_t>& file) {
    const size_t size = file.size();
    const uint8_t* data = file.data();
    if (size < 0x40 || data[0] != 'M' || data[1] != 'Z') {
        return fail("not a PE file (no MZ header)");
    }
    const uint32_t pe = read32(data + 0x3C);
    if (pe > size || size - pe < 24 || std::memcmp(data + pe, "PE\0\0", 4) != 0) {
        return fail("not a PE file (no PE signature)");
    }
    const uint8_t* coff = data + pe + 4;
    const uint32_t machine = read16(coff);
    if (machine != kMachine) {
        char text[64];
        std::snprintf(text, sizeof text, "machine 0x%04X, this process runs 0x%04X", machine,
                      kMachine);
        return fail(text);
    }
    const uint32_t section_count = read16(coff + 2);
    const uint32_t optional_size = read16(coff + 16);
    if ((read16(coff + 18) & kFileDll) == 0) {
        return fail("not a DLL");
    }
    const uint8_t* optional = coff + 20;
    const size_t optional_at = static_cast<size_t>(optional - data);
    if (optional_size < 96 || size - optional_at < optional_size ||
        read16(optional) != kMagicPe32) {
        return fail("no 32-bit optional header");
    }
    entry_rva_ = read32(optional + 16);
    preferred_base_ = read32(optional + 28);
    image_size_ = read32(optional + 56);
    const uint32_t header_size = read32(optional + 60);
    const uint32_t directory_count = read32(optional + 92);
    auto directory = [&](uint32_t index) {
        Directory d;
        if (index < directory_count && 96 + 8 * (index + 1) <= optional_size) {
            d.rva = read32(optional + 96 + 8 * index);
            d.size = read32(optional + 100 + 8 * index);
        }
        return d;
    };
    // Thread-local storage and delayed imports need work that this loader does not do.
    if (directory(9).size != 0) {
        return fail("has thread-local storage, which the loader does not set up");
    }
    if (directory(13).size != 0) {
        return fail("has delayed imports, which the loader does not bind");
    }
    exports_ = directory(0);
    imports_ = directory(1);
    relocations_ = directory(5);
    for (const Directory& d : {exports_, imports_, relocations_}) {
        if (d.rva > image_size_ || d.size > image_size_ - d.rva) {
            return fail("a data directory lies outside the image");
        }
    }
    if (image_size_ == 0 || header_size > image_size_ || header_size > size) {
        return fail("bad image or header size");
    }

    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    mapped_size_ = (image_size_ + page - 1) / page * page;
    void* where =
        mmap(nullptr, mapped_size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (where == MAP_FAILED) {
        return fail("cannot map " + std::to_string(image_size_) + " bytes");
    }
    if (reinterpret_cast<uintptr_t>(where) == preferred_base_) {
        // Keep the image away from its preferred base, so that its relocations always count.
        void* elsewhere =
            mmap(nullptr, mapped_size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        munmap(where, mapped_size_);
        if (elsewhere == MAP_FAILED) {
            return fail("cannot map the image away from its preferred base");
        }
        where = elsewhere;
    }
    base_ = static_cast<uint8_t*>(where);
    std::memcpy(base_, data, header_size);

    const size_t sections_at = optional_at + optional_size;
    if (section_count == 0 || size < sections_at || (size - sections_at) / 40 < section_count) {
        return fail("bad section table");
    }
    sections_.clear();
    for (uint32_t i = 0; i < section_count; ++i) {
        const uint8_t* s = data + sections_at + 40 * i;
        const uint32_t virtual_size = read32(s + 8);
        const uint32_t rva = read32(s + 12);
        const uint32_t raw_size = read32(s + 16);
        const uint32_t raw_at = read32(s + 20);
        const uint32_t span = virtual_size != 0 ? virtual_size : raw_size;
        const uint32_t copied = raw_size < span ? raw_size : span;
        if (rva > image_size_ || span > image_size_ - rva || raw_at > size ||
            copied > size - raw_at) {
            return fail("section " + std::to_string(i) + " lies outside the image or file");
        }
        std::memcpy(base_ + rva, data + raw_at, copied); // the rest of the span stays zero
        sections_.push_back({rva, span, read32(s + 36)});
    }
    return true;
}

bool PeImage::relocate() {
    const uint32_t delta = static_cast<uint32_t>(base()) - preferred_base_;
    if (delta == 0) {
        return true;
    }
    if (relocations_.size == 0) {
        return fail("has no base relocations and cannot be moved from its preferred base");
    }
    uint32_t at = relocations_.rva;
    const uint32_t end = relocations_.rva + relocations_.size;
    while (end - at >= 8) {
        const uint32_t page_rva = read32(base_ + at);
        const uint32_t block_size = read32(base_ + at + 4);
        if (block_size < 8 || block_size > end - at) {
            return fail("bad base relocation block");
        }
        for (uint32_t e = at + 8; e + 2 <= at + block_size; e += 2) {
            const uint32_t entry = read16(base_ + e);
            const uint32_t type = entry >> 12;
            const uint32_t rva = page_rva + (entry & 0x0FFF);
            if (type == kRelocAbsolute) {
                continue;
            }
            if (rva > image_size_ || image_size_ - rva < (type == kRelocThumbMov32 ? 8U : 4U)) {
                return fail("a base relocation lies outside the image");
            }
            uint8_t* p = base_ + rva;
            if (type == kRelocHighLow) {
                write32(p, read32(p) + delta);
            } else if (type == kRelocThumbMov32 && kMachine == 0x01C4) {
                if (!is_thumb_movw(p) || !is_thumb_movt(p + 4)) {
                    return fail("a movw/movt relocation does not point at movw/movt");
                }
                const uint32_t address =
                    (thumb_mov_immediate(p) | (thumb_mov_immediate(p + 4) << 16)) + delta;
                set_thumb_mov_immediate(p, address & 0xFFFF);
                set_thumb_mov_immediate(p + 4, address >> 16);
            } else {
                return fail("base relocation type " + std::to_string(type) + " not supported");
            }
            ++relocations_applied_;
        }
        at += block_size;
    }
    return true;
}

bool PeImage::bind_imports() {
    // A text inside the image, NUL-terminated before its end.
    auto text_at = [&](uint32_t rva, std::string_view& out) {
        if (rva >= image_size_) {
            return false;
        }
        const char* start = reinterpret_cast<const char*>(base_ + rva);
        const void* nul = std::memchr(start, 0, image_size_ - rva);
        if (nul == nullptr) {
            return false;
        }
        out = std::string_view(start, static_cast<size_t>(static_cast<const char*>(nul) - start));
        return true;
    };
    if (imports_.size == 0) {
        return true;
    }
    for (uint32_t at = imports_.rva; image_size_ - at >= 20; at += 20) {
        const uint32_t lookup_rva = read32(base_ + at);
        const uint32_t name_rva = read32(base_ + at + 12);
        const uint32_t address_rva = read32(base_ + at + 16);
        if (name_rva == 0 && address_rva == 0) {
            return true;
        }
        std::string_view dll;
        if (!text_at(name_rva, dll)) {
            return fail("bad import descriptor");
        }
        const uint32_t names_rva = lookup_rva != 0 ? lookup_rva : address_rva;
        for (uint32_t i = 0;; ++i) {
            const uint32_t slot = names_rva + 4 * i;
            const uint32_t target = address_rva + 4 * i;
            if (slot > image_size_ - 4 || target > image_size_ - 4) {
                return fail("bad import table of " + std::string(dll));
            }
            const uint32_t thunk = read32(base_ + slot);
            if (thunk == 0) {
                break;
            }
            if ((thunk & kImportByOrdinal) != 0) {
                return fail("imports ordinal " + std::to_string(thunk & 0xFFFF) + " from " +
                            std::string(dll) + "; the loader binds imports by name only");
            }
            std::string_view function;
            if (!text_at(thunk + 2, function)) {
                return fail("bad import name in the table of " + std::string(dll));
            }
            void* address = pe_import(dll, function);
            if (address == nullptr) {
                return fail("imports " + std::string(function) + " from " + std::string(dll) +
                            ", which the loader does not provide");
            }
            write32(base_ + target, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address)));
        }
    }
    return fail("import directory runs off the image");
}

bool PeImage::protect() {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    // Headers read-only; each section as its flags say, when sections start on pages.
    bool aligned = true;
    for (const Section& s : sections_) {
        aligned = aligned && s.rva % page == 0;
    }
    if (!aligned) {
        if (mprotect(base_, mapped_size_, PROT_READ | PROT_WRITE | PROT_EXEC) != 0) {
            return fail("cannot make the image executable");
        }
    } else {
        mprotect(base_, page, PROT_READ);
        for (const Section& s : sections_) {
            const size_t length = (s.size + page - 1) / page * page;
            int protection = PROT_READ;
            if ((s.flags & kSectionExecute) != 0) {
                protection |= PROT_EXEC;
            }
            if ((s.flags & kSectionWrite) != 0) {
                protection |= PROT_WRITE;
            }
            if (length != 0 && mprotect(base_ + s.rva, length, protection) != 0) {
                return fail("cannot set the protection of a section");
            }
        }
    }
    __builtin___clear_cache(reinterpret_cast<char*>(base_),
                            reinterpret_cast<char*>(base_ + mapped_size_));
    return true;
}

bool PeImage::attach() {
    if (entry_rva_ == 0) {
        return true;
    }
    if (entry_rva_ >= image_size_) {
        return fail("entry point outside the image");
    }
    auto entry = reinterpret_cast<DllEntry>(code_address(base() + entry_rva_));
    if (entry(base_, kProcessAttach, nullptr) == 0) {
        return fail("its entry refused the process attach");
    }
    attached_ = true;
    return true;
}

void PeImage::unload() {
    if (base_ == nullptr) {
        return;
    }
    if (attached_) {
        auto entry = reinterpret_cast<DllEntry>(code_address(base() + entry_rva_));
        entry(base_, kProcessDetach, nullptr);
        attached_ = false;
    }
    munmap(base_, mapped_size_);
    base_ = nullptr;
}

void* PeImage::find_export(std::string_view name) const {
    if (base_ == nullptr || exports_.size < 40) {
        return nullptr;
    }
    const uint8_t* dir = base_ + exports_.rva;
    const uint32_t function_count = read32(dir + 20);
    const uint32_t name_count = read32(dir + 24);
    const uint32_t functions = read32(dir + 28);
    const uint32_t names = read32(dir + 32);
    const uint32_t ordinals = read32(dir + 36);
    if (functions > image_size_ || function_count > (image_size_ - functions) / 4 ||
        names > image_size_ || name_count > (image_size_ - names) / 4 || ordinals > image_size_ ||
        name_count > (image_size_ - ordinals) / 2) {
        return nullptr;
    }
    for (uint32_t i = 0; i < name_count; ++i) {
        const uint32_t name_rva = read32(base_ + names + 4 * i);
        if (name_rva >= image_size_) {
            continue;
        }
        const char* text = reinterpret_cast<const char*>(base_ + name_rva);
        const size_t room = image_size_ - name_rva;
        if (strnlen(text, room) != name.size() ||
            name.compare(0, name.size(), text, name.size()) != 0) {
            continue;
        }
        const uint32_t index = read16(base_ + ordinals + 2 * i);
        if (index >= function_count) {
            return nullptr;
        }
        const uint32_t rva = read32(base_ + functions + 4 * index);
        // An address inside the export directory names another DLL's export (a forwarder).
        if (rva == 0 || rva >= image_size_ ||
            (rva >= exports_.rva && rva < exports_.rva + exports_.size)) {
            return nullptr;
        }
        // Code in an executable section (on ARM a Thumb address); data as it lies.
        return reinterpret_cast<void*>(executable(rva) ? code_address(base() + rva) : base() + rva);
    }
    return nullptr;
}

bool PeImage::executable(uint32_t rva) const {
    for (const Section& s : sections_) {
        if (rva >= s.rva && rva - s.rva < s.size) {
            return (s.flags & kSectionExecute) != 0;
        }
    }
    return false;
}

} // namespace hostsim
