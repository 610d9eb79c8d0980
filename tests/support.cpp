// Test fixture and record builder.
#include "support.h"

#include <cstdio>

namespace opkit_test {

std::string make_record(int length, std::string_view name,
                        std::initializer_list<std::pair<int, std::string_view>> fields, int chars) {
    size_t size = chars >= 0 ? static_cast<size_t>(chars) : static_cast<size_t>(length + 2);
    for (const auto& [column, text] : fields) {
        if (chars < 0) {
            size = std::max(size, static_cast<size_t>(column) + text.size());
        }
    }
    std::string record(std::max<size_t>(size, 9), ' ');
    char digits[8];
    std::snprintf(digits, sizeof digits, "%02d", length % 100);
    record.replace(0, 2, digits, 2);
    record.replace(2, std::min<size_t>(name.size(), 7), name.substr(0, 7));
    for (const auto& [column, text] : fields) {
        const auto at = static_cast<size_t>(column);
        if (record.size() < at + text.size()) {
            record.resize(at + text.size(), ' ');
        }
        record.replace(at, text.size(), text);
    }
    record.resize(size);
    return record;
}

PluginTest::PluginTest(hostsim::HostOptions options) : host(options), plugin(OPKIT_PLUGIN_PATH) {
    host.make_current();
}

void PluginTest::SetUp() {
    ASSERT_TRUE(plugin.load()) << plugin.error();
}

std::string PluginTest::notice_code() const {
    const std::string top = row(0);
    if (top.rfind("Bad CCFR(", 0) != 0) {
        return {};
    }
    return top.substr(9, 2);
}

std::vector<std::string> PluginTest::calls_of(Service service) const {
    std::vector<std::string> out;
    for (const auto& entry : host.trace_of(service)) {
        out.push_back(entry.to_string());
    }
    return out;
}

std::vector<std::string> PluginTest::trace_text() const {
    std::vector<std::string> out;
    for (const auto& entry : host.trace()) {
        out.push_back(entry.to_string());
    }
    return out;
}

} // namespace opkit_test
