// The PE loader that runs the plug-in DLL's own code in the i386 and ARM builds: it moves the
// image off its preferred base and relocates it, refuses what it cannot bind by name, a DLL
// left unrelocated does not run, it binds exactly the names of the plug-in's import lists, and
// the runtime equivalents it binds give the runtime's results.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "hostsim/host.h"
#include "pe_loader.h"

namespace {

using hostsim::pe_import;
using hostsim::PeImage;

std::vector<uint8_t> plugin_bytes() {
    std::ifstream in(OPKIT_PLUGIN_PATH, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Replaces the NUL-terminated name `from`, which starts after a NUL byte (a hint's high byte
// or the end of the previous name), with `to` of the same length.
bool rename_in(std::vector<uint8_t>& file, const std::string& from, const std::string& to) {
    const std::string needle = std::string(1, '\0') + from + std::string(1, '\0');
    auto at = std::search(file.begin(), file.end(), needle.begin(), needle.end());
    if (at == file.end() || from.size() != to.size()) {
        return false;
    }
    std::copy(to.begin(), to.end(), at + 1);
    return true;
}

uint32_t coff_header_at(const std::vector<uint8_t>& file) {
    return static_cast<uint32_t>(file[0x3C] | (file[0x3D] << 8)) + 4;
}

// Gives data directory `index` (9: thread-local storage) a size, as if the DLL had one.
void set_directory_size(std::vector<uint8_t>& file, uint32_t index, uint8_t size) {
    file[coff_header_at(file) + 20 + 96 + 8 * index + 4] = size;
}

TEST(PeLoader, MovesTheDllOffItsPreferredBaseAndFindsMainAlone) {
    hostsim::Host host;
    host.make_current();
    PeImage image;
    ASSERT_TRUE(image.load_file(OPKIT_PLUGIN_PATH)) << image.error();
    EXPECT_NE(image.base(), image.preferred_base());
    EXPECT_GT(image.relocations_applied(), 0U);
    EXPECT_NE(image.find_export("main"), nullptr);
    for (const char* other : {"DllMain", "mai", "main2", "opkit_exported_main", "_main"}) {
        EXPECT_EQ(image.find_export(other), nullptr) << other;
    }
}

struct Refusal {
    const char* what;
    void (*patch)(std::vector<uint8_t>&);
    const char* message; // a regular expression that the error must contain
};

const Refusal kRefusals[] = {
    {"unknown C runtime function",
     [](std::vector<uint8_t>& f) { ASSERT_TRUE(rename_in(f, "strlen", "strlex")); },
     "imports strlex from (msvcrt|coredll)\\.dll, which the loader does not provide"},
    {"unknown host service",
     [](std::vector<uint8_t>& f) { ASSERT_TRUE(rename_in(f, "_WaitEvent", "_WaitEvenX")); },
     "imports _WaitEvenX from hostlib\\.dll, which the loader does not provide"},
    {"unknown DLL",
     [](std::vector<uint8_t>& f) { ASSERT_TRUE(rename_in(f, "hostlib.dll", "hostlix.dll")); },
     "imports _[A-Za-z]+ from hostlix\\.dll, which the loader does not provide"},
    {"other processor",
     [](std::vector<uint8_t>& f) {
         const uint32_t coff = coff_header_at(f);
         f[coff] = 0x64; // x86-64
         f[coff + 1] = 0x86;
     },
     "machine 0x8664, this process runs 0x"},
    {"not a DLL", [](std::vector<uint8_t>& f) { f[coff_header_at(f) + 19] &= 0xDF; }, "not a DLL"},
    {"thread local storage", [](std::vector<uint8_t>& f) { set_directory_size(f, 9, 24); },
     "has thread-local storage"},
    {"truncated", [](std::vector<uint8_t>& f) { f.resize(f.size() / 2); },
     "lies outside the image or file"},
};

void PrintTo(const Refusal& refusal, std::ostream* out) {
    *out << refusal.what;
}

class PeLoaderRefuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(PeLoaderRefuses, NamingTheCause) {
    std::vector<uint8_t> file = plugin_bytes();
    ASSERT_GT(file.size(), 1024U);
    GetParam().patch(file);
    hostsim::Host host;
    host.make_current();
    PeImage image;
    EXPECT_FALSE(image.load(file, "patched.dll"));
    EXPECT_FALSE(image.loaded());
    EXPECT_TRUE(std::regex_search(image.error(), std::regex(GetParam().message))) << image.error();
}

INSTANTIATE_TEST_SUITE_P(Patched, PeLoaderRefuses, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<Refusal>& param_info) {
                             std::string name = param_info.param.what;
                             std::replace(name.begin(), name.end(), ' ', '_');
                             return name;
                         });

// Loads the plug-in, with or without its relocations, and sends message 0, which touches the
// popup box state: the library's globals, reached through absolute addresses.
int load_and_send_message_0(bool relocate) {
    hostsim::Host host;
    host.make_current();
    PeImage image;
    if (!image.load_file(OPKIT_PLUGIN_PATH, {relocate})) {
        std::fprintf(stderr, "load failed: %s\n", image.error().c_str());
        std::abort();
    }
    auto entry = reinterpret_cast<int (*)(int, char*)>(image.find_export("main"));
    return entry(0, nullptr);
}

TEST(PeLoader, RelocatedDllRuns) {
    EXPECT_EQ(load_and_send_message_0(true), 0);
}

TEST(PeLoaderDeathTest, UnrelocatedDllDoesNotRun) {
    // The first absolute address that the code uses points into the unmapped preferred base.
    EXPECT_EXIT(load_and_send_message_0(false), ::testing::KilledBySignal(SIGSEGV), "");
}

TEST(PeLoader, BindsDllNamesWithoutCaseAndFunctionNamesExactly) {
    EXPECT_NE(pe_import("HOSTLIB.DLL", "_WaitEvent"), nullptr);
    EXPECT_EQ(pe_import("hostlib.dll", "_waitevent"), nullptr);
    EXPECT_EQ(pe_import("hostlib", "_WaitEvent"), nullptr);
    EXPECT_EQ(pe_import("user32.dll", "MessageBoxA"), nullptr);
}

#if defined(__arm__)
const char* const kRuntime = "coredll.dll";
#else
const char* const kRuntime = "msvcrt.dll";
#endif

template <typename F> F runtime(const char* name) {
    void* address = pe_import(kRuntime, name);
    EXPECT_NE(address, nullptr) << name;
    return reinterpret_cast<F>(address);
}

// The names that the plug-in's import lists for this processor declare, as "dll!function",
// the DLL name in lower case and a stdcall name without its "@<bytes>" (the DLL imports it
// under its plain name).
std::set<std::string> listed_imports() {
#if defined(__arm__)
    const std::string folder = OPKIT_SOURCE_DIR "/src/entry/imports/arm/";
    const char* const lists[] = {"hostlib.def", "coredll.def"};
#else
    const std::string folder = OPKIT_SOURCE_DIR "/src/entry/imports/x86/";
    const char* const lists[] = {"hostlib.def", "msvcrt.def", "kernel32.def"};
#endif
    std::set<std::string> names;
    for (const char* list : lists) {
        std::ifstream in(folder + list);
        EXPECT_TRUE(in) << folder << list;
        std::string line;
        std::string dll;
        bool exports = false;
        while (std::getline(in, line)) {
            std::istringstream words(line);
            std::string word;
            if (!(words >> word) || word[0] == ';') {
                continue;
            }
            if (word == "LIBRARY") {
                words >> dll;
                std::transform(dll.begin(), dll.end(), dll.begin(),
                               [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            } else if (word == "EXPORTS") {
                exports = true;
            } else if (exports) {
                names.insert(dll + "!" + word.substr(0, word.find('@')));
            }
        }
    }
    return names;
}

TEST(PeLoader, BindsExactlyTheNamesOfTheImportLists) {
    const std::set<std::string> listed = listed_imports();
    ASSERT_GT(listed.size(), 14U) << "the host services and the runtime's functions";
    const std::vector<std::string> bound = hostsim::pe_import_names();
    EXPECT_EQ(std::set<std::string>(bound.begin(), bound.end()), listed);
    EXPECT_EQ(std::set<std::string>(bound.begin(), bound.end()).size(), bound.size())
        << "a name bound twice";
    for (const std::string& name : listed) {
        const size_t bang = name.find('!');
        EXPECT_NE(pe_import(name.substr(0, bang), name.substr(bang + 1)), nullptr) << name;
    }
    // Each host service of the emulated host's table is bound under its traced name.
    for (int i = 0; i < static_cast<int>(hostsim::Service::HostNote); ++i) {
        const char* name = hostsim::service_name(static_cast<hostsim::Service>(i));
        EXPECT_EQ(listed.count(std::string("hostlib.dll!") + name), 1U) << name;
    }
}

TEST(RuntimeEquivalents, MemoryAndTextFunctionsActAsTheCLibrarys) {
    char text[16] = "abcabc";
    auto strchr_ = runtime<char* (*)(const char*, int)>("strchr");
    EXPECT_EQ(strchr_(text, 'c'), text + 2);
    EXPECT_EQ(strchr_(text, 'z'), nullptr);
    EXPECT_EQ(strchr_(text, '\0'), text + 6) << "the terminating NUL is part of the text";
    auto strlen_ = runtime<size_t (*)(const char*)>("strlen");
    EXPECT_EQ(strlen_(text), 6U);
    auto memset_ = runtime<void* (*)(void*, int, size_t)>("memset");
    auto memcpy_ = runtime<void* (*)(void*, const void*, size_t)>("memcpy");
    EXPECT_EQ(memset_(text + 1, 'x', 2), text + 1);
    EXPECT_EQ(memcpy_(text + 4, "YZ", 2), text + 4);
    EXPECT_STREQ(text, "axxaYZ");
}

#if defined(__arm__)
// The signed division helper returns the quotient in r0 and the remainder in r1: the low and high
// words of a 64-bit result. The divisor comes first.
TEST(RuntimeEquivalents, DivisionHelperTakesTheDivisorFirst) {
    auto sdiv = runtime<uint64_t (*)(int32_t, int32_t)>("__rt_sdiv");
    struct Case {
        int32_t divisor, dividend, quotient, remainder;
    };
    for (const Case& c : {Case{7, -45, -6, -3}, Case{-7, 45, -6, 3},
                          Case{-1, INT32_MIN, INT32_MIN, 0}, Case{1000, 999, 0, 999}}) {
        const uint64_t r = sdiv(c.divisor, c.dividend);
        EXPECT_EQ(static_cast<int32_t>(static_cast<uint32_t>(r)), c.quotient) << c.dividend;
        EXPECT_EQ(static_cast<int32_t>(static_cast<uint32_t>(r >> 32)), c.remainder) << c.dividend;
    }
}
#else
TEST(RuntimeEquivalents, CompareIgnoresCaseAndThreadCallsAreAccepted) {
    auto strcmpi = runtime<int (*)(const char*, const char*)>("_strcmpi");
    EXPECT_EQ(strcmpi("Dicount", "dICOUNT"), 0);
    EXPECT_LT(strcmpi("abc", "ABD"), 0);
    auto disable = reinterpret_cast<int(__attribute__((stdcall))*)(void*)>(
        pe_import("KERNEL32.dll", "DisableThreadLibraryCalls"));
    ASSERT_NE(disable, nullptr);
    EXPECT_NE(disable(nullptr), 0);
}
#endif

} // namespace
