#include "http/HtmlEscape.h"

Str html_escape(const Str& text) {
    Str escaped;
    uint32_t copied = 0; // start of the bytes not yet copied
    for (uint32_t i = 0; i < text.length(); i++) {
        const char* entity = nullptr;
        switch (text[i]) {
        case '&': entity = "&amp;"; break;
        case '<': entity = "&lt;"; break;
        case '>': entity = "&gt;"; break;
        case '"': entity = "&quot;"; break;
        default: continue;
        }
        escaped.append(text.data() + copied, i - copied);
        escaped += entity;
        copied = i + 1;
    }
    escaped.append(text.data() + copied, text.length() - copied);
    return escaped;
}
