#include "tools/PrintableText.h"

#include <cstdio>

size_t utf8CharacterLength(const std::string& text, size_t at) {
    const auto byte = [&text](size_t i) {
        return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
    };
    const unsigned lead = byte(at);
    if (lead < 0x80) return 1;
    // The ranges of the second byte exclude overlong forms, surrogates and code points past
    // U+10FFFF; the later bytes are plain continuation bytes.
    size_t length;
    unsigned low = 0x80, high = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0) low = 0xa0;
        if (lead == 0xed) high = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0) low = 0x90;
        if (lead == 0xf4) high = 0x8f;
    } else {
        return 0;
    }
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (size_t i = 2; i < length; ++i)
        if ((byte(at + i) & 0xc0) != 0x80) return 0;
    return length;
}

namespace {
std::string escaped(const char* format, unsigned value) {
    char text[16];
    std::snprintf(text, sizeof(text), format, value);
    return text;
}
} // namespace

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const size_t length = utf8CharacterLength(text, i);
        const unsigned char ch = static_cast<unsigned char>(text[i]);
        if (length == 0) {
            out += "\xef\xbf\xbd";
            ++i;
            continue;
        }
        if (ch == '"' || ch == '\\')
            out += std::string("\\") + static_cast<char>(ch);
        else if (ch < 0x20)
            out += escaped("\\u%04x", ch);
        else
            out.append(text, i, length);
        i += length;
    }
    return out + "\"";
}

std::string terminalText(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const size_t length = utf8CharacterLength(text, i);
        const unsigned char ch = static_cast<unsigned char>(text[i]);
        if (length == 0 || ch < 0x20 || ch == 0x7f) {
            out += escaped("\\x%02x", ch);
            ++i;
            continue;
        }
        // U+0080 to U+009F, the C1 controls, are encoded as C2 80 to C2 9F.
        const unsigned char next = length == 2 ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (ch == 0xc2 && next <= 0x9f)
            out += escaped("\\u%04x", next);
        else
            out.append(text, i, length);
        i += length;
    }
    return out;
}

size_t displayWidth(const std::string& terminal) {
    size_t width = 0;
    for (unsigned char ch : terminal)
        width += (ch & 0xc0) != 0x80 ? 1 : 0;
    return width;
}
