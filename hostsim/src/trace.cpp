// Service names, forced results and the trace of service calls.
#include "hostsim/trace.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace hostsim {

const char* service_name(Service service) {
    switch (service) {
#define HOSTSIM_SERVICE_NAME(name, parameters, call)                                               \
    case Service::name: return "_" #name;
        HOSTSIM_SERVICES(HOSTSIM_SERVICE_NAME)
#undef HOSTSIM_SERVICE_NAME
    case Service::HostNote: return "host";
    }
    return "?";
}

void ForcedResults::add(Service service, Forced forced) {
    waiting_[service].push_back(forced);
}

std::optional<Forced> ForcedResults::take(Service service) {
    const auto it = waiting_.find(service);
    if (it == waiting_.end() || it->second.empty()) {
        return std::nullopt;
    }
    const Forced forced = it->second.front();
    it->second.pop_front();
    return forced;
}

namespace {

// The text argument quoted, with control and non-ASCII bytes in hex.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out + '"';
}

} // namespace

std::string TraceEntry::to_string() const {
    std::string out = service_name(service);
    out += '(';
    bool first = true;
    if (!text.empty() || service == Service::VioWrtCharStr ||
        service == Service::VioWrtCharStrAtt || service == Service::WriteUserVariable) {
        out += quoted(text);
        first = false;
    }
    for (const int64_t arg : args) {
        if (!first) {
            out += ", ";
        }
        out += std::to_string(arg);
        first = false;
    }
    out += ") = ";
    out += std::to_string(result);
    return out;
}

void Trace::record(TraceEntry entry) {
    if (!enabled_) {
        return;
    }
    if (entries_.size() >= limit_ && !entries_.empty()) {
        entries_.back() = std::move(entry);
        return;
    }
    entries_.push_back(std::move(entry));
}

std::vector<TraceEntry> Trace::of(Service service) const {
    std::vector<TraceEntry> out;
    std::copy_if(entries_.begin(), entries_.end(), std::back_inserter(out),
                 [&](const TraceEntry& e) { return e.service == service; });
    return out;
}

size_t Trace::count_of(Service service) const {
    return static_cast<size_t>(
        std::count_if(entries_.begin(), entries_.end(),
                      [&](const TraceEntry& e) { return e.service == service; }));
}

} // namespace hostsim
