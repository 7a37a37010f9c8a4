#include "http/UrlCoding.h"

namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Two characters read as hexadecimal, stopping at the first non-hex one.
char decode_pair(char high, char low) {
    int value = hex_value(high);
    if (value < 0) return 0;
    int next = hex_value(low);
    if (next >= 0) value = value * 16 + next;
    return static_cast<char>(value);
}

bool copied_by_encoder(unsigned char c) {
    return c == '_' || c == ',' || c == '.' || c == '-' || (c >= '0' && c <= '9') ||
           (c >= 'A' && c <= '~');
}

} // namespace

Str url_decode(const Str& text) {
    Str decoded;
    const uint32_t n = text.length();
    for (uint32_t i = 0; i < n; i++) {
        char c = text[i];
        if (c == '+') {
            decoded += ' ';
        } else if (c != '%') {
            decoded += c;
        } else if (i + 2 < n) {
            decoded += decode_pair(text[i + 1], text[i + 2]);
            i += 2;
        }
        // else: a "%" too close to the end is dropped; what follows is kept.
    }
    return decoded;
}

Str url_encode(const Str& text) {
    static const char HEX[] = "0123456789abcdef";
    Str encoded;
    for (uint32_t i = 0; i < text.length(); i++) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == ' ') {
            encoded += '+';
        } else if (copied_by_encoder(c)) {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += HEX[c >> 4];
            encoded += HEX[c & 15];
        }
    }
    return encoded;
}
