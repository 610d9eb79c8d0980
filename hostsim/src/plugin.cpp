// Loading and calling the plug-in.
#include "hostsim/plugin.h"

#include <vector>

#if defined(OPKIT_PE_LOADER)
#include "pe_loader.h"
#elif defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#ifndef OPKIT_PLUGIN_FILE
#define OPKIT_PLUGIN_FILE "opkit.so"
#endif

namespace hostsim {

Plugin::Plugin(std::string path) : path_(std::move(path)) {}

Plugin::~Plugin() {
    unload();
}

bool Plugin::load() {
    if (entry_ != nullptr) {
        return true;
    }
#if defined(OPKIT_PE_LOADER)
    // The plug-in is a Windows DLL for this processor, run through hostsim's own loader.
    auto* image = new PeImage;
    if (!image->load_file(path_)) {
        error_ = image->error();
        delete image;
        return false;
    }
    void* symbol = image->find_export("main");
    if (symbol == nullptr) {
        delete image;
        error_ = path_ + " does not export main";
        return false;
    }
    handle_ = image;
    entry_ = reinterpret_cast<Entry>(symbol);
#elif defined(_WIN32)
    // The loader wants backslashes; build tools and scripts often write forward ones.
    std::string native_path = path_;
    for (char& c : native_path) {
        if (c == '/') {
            c = '\\';
        }
    }
    HMODULE module = LoadLibraryA(native_path.c_str());
    if (module == nullptr) {
        error_ = "cannot load " + path_ + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    auto* symbol = GetProcAddress(module, "main");
    if (symbol == nullptr) {
        FreeLibrary(module);
        error_ = path_ + " does not export main";
        return false;
    }
    handle_ = module;
    entry_ = reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(symbol));
#else
    void* handle = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        error_ = why != nullptr ? why : ("cannot load " + path_);
        return false;
    }
    void* symbol = dlsym(handle, "main");
    if (symbol == nullptr) {
        dlclose(handle);
        error_ = path_ + " does not export main";
        return false;
    }
    handle_ = handle;
    entry_ = reinterpret_cast<Entry>(symbol);
#endif
    error_.clear();
    return true;
}

void Plugin::unload() {
    if (handle_ == nullptr) {
        return;
    }
#if defined(OPKIT_PE_LOADER)
    delete static_cast<PeImage*>(handle_);
#elif defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(handle_));
#else
    dlclose(handle_);
#endif
    handle_ = nullptr;
    entry_ = nullptr;
}

void* Plugin::symbol(std::string_view name) const {
    if (handle_ == nullptr) {
        return nullptr;
    }
#if defined(OPKIT_PE_LOADER)
    return static_cast<const PeImage*>(handle_)->find_export(name);
#elif defined(_WIN32)
    const std::string text(name);
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), text.c_str()));
#else
    const std::string text(name);
    return dlsym(handle_, text.c_str());
#endif
}

int Plugin::message(int code) {
    return call_raw(code, nullptr);
}

int Plugin::call(std::string_view record) {
    std::vector<char> buffer(record.begin(), record.end());
    buffer.push_back('\0');
    return call_raw(3, buffer.data());
}

int Plugin::call_raw(int code, char* record) {
    if (entry_ == nullptr && !load()) {
        return -1;
    }
    return entry_(code, record);
}

std::string plugin_file_name() {
    return OPKIT_PLUGIN_FILE;
}

} // namespace hostsim
