// Text as the tool shows it: escaped bytes, quoted texts, column rulers, JSON and XML escapes,
// and the escapes that scripts and tables write.
#include "text.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace opkit_cli {

Ruler column_ruler(size_t width) {
    Ruler r{std::string(width, ' '), std::string(width, ' ')};
    for (size_t c = 0; c < width; ++c) {
        if (c % 10 == 0 && c > 0) {
            r.tens[c] = static_cast<char>('0' + (c / 10) % 10);
        }
        r.units[c] = static_cast<char>('0' + c % 10);
    }
    return r;
}

std::string shown_byte(char c, bool json) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7f) {
        return std::string(1, c);
    }
    static const char digits[] = "0123456789ABCDEF";
    return std::string(json ? "\\u00" : "\\x") + digits[u >> 4] + digits[u & 15];
}

std::string printable(std::string_view text, bool keep_newlines) {
    std::string out;
    for (const char c : text) {
        out += c == '\n' && keep_newlines ? std::string(1, c) : shown_byte(c);
    }
    return out;
}

std::string trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(" \t\r") - first + 1));
}

std::string quoted_text(std::string_view text, bool json) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += shown_byte(c, json);
    }
    return out + "\"";
}

std::string json_string(const std::string& text) {
    return quoted_text(text, true);
}

std::string xml_text(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\n': out += "&#10;"; break;
        default:
            // Bytes from 0x80 on are not UTF-8 of their own: written as escapes too.
            out += shown_byte(c);
        }
    }
    return out;
}

int read_escape(std::string_view line, size_t i, char& out) {
    const char e = i + 1 < line.size() ? line[i + 1] : '\0';
    switch (e) {
    case '"':
    case '\\':
    case '\'': out = e; return 2;
    case 'n': out = '\n'; return 2;
    case 't': out = '\t'; return 2;
    case 'x': {
        const std::string_view digits = line.substr(std::min(i + 2, line.size()), 2);
        unsigned value = 0;
        const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
        if (digits.size() != 2 || r.ptr != digits.data() + 2) {
            return 0;
        }
        out = static_cast<char>(value);
        return 4;
    }
    default: return 0;
    }
}

} // namespace opkit_cli
