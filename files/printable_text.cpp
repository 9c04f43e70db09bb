#include "files/printable_text.h"

#include <algorithm>
#include <cstdio>

namespace hydrosk::files {
namespace {

// The code point of the UTF-8 sequence at `at` and its length in bytes; length
// 0 when the bytes there are not UTF-8 (also overlong forms and surrogates).
struct Decoded {
    char32_t code_point = 0;
    std::size_t length = 0;
};

Decoded DecodeUtf8(std::string_view bytes, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return {lead, 1};
    std::size_t length = 0;
    char32_t code_point = 0;
    char32_t smallest = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        code_point = lead & 0x1F;
        smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        code_point = lead & 0x0F;
        smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        code_point = lead & 0x07;
        smallest = 0x10000;
    } else {
        return {};
    }
    if (at + length > bytes.size()) return {};
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return {};
        code_point = (code_point << 6) | (byte(at + i) & 0x3F);
    }
    if (code_point < smallest || code_point > 0x10FFFF ||
        (code_point >= 0xD800 && code_point <= 0xDFFF)) {
        return {};
    }
    return {code_point, length};
}

bool IsUtf8(std::string_view bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = DecodeUtf8(bytes, at).length;
        if (length == 0) return false;
        at += length;
    }
    return true;
}

bool IsControl(char32_t c) {
    return (c < 0x20 && c != '\t') || (c >= 0x7F && c <= 0x9F);
}

bool IsDirectionMark(char32_t c) {
    return c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

void AppendEscape(std::string& text, const char* format, unsigned value) {
    char escape[16];
    std::snprintf(escape, sizeof escape, format, value);
    text += escape;
}

}  // namespace

std::string PrintableText(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    if (IsUtf8(bytes)) {
        for (std::size_t at = 0; at < bytes.size();) {
            const Decoded decoded = DecodeUtf8(bytes, at);
            const char32_t c = decoded.code_point;
            if (c < 0x80 && IsControl(c)) {
                AppendEscape(text, "\\x%02x", static_cast<unsigned>(c));
            } else if (IsControl(c) || IsDirectionMark(c)) {
                AppendEscape(text, "\\u{%04X}", static_cast<unsigned>(c));
            } else {
                text.append(bytes.substr(at, decoded.length));
            }
            at += decoded.length;
        }
        return text;
    }
    for (const char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        if (IsControl(c)) {
            AppendEscape(text, "\\x%02x", c);
        } else {
            text += byte;
        }
    }
    return text;
}

std::string CutField(std::string_view bytes) {
    // Characters of UTF-8 where the bytes are that, single bytes elsewhere.
    std::size_t end = 0;
    for (std::size_t shown = 0; end < bytes.size() && shown < kFieldCharactersShown; ++shown) {
        end += std::max<std::size_t>(DecodeUtf8(bytes, end).length, 1);
    }
    if (end >= bytes.size()) return std::string(bytes);
    return std::string(bytes.substr(0, end)) + "\u2026";
}

std::string FieldText(std::string_view bytes) {
    return PrintableText(CutField(bytes));
}

}  // namespace hydrosk::files
