#include "viewer/loader/Entities.h"

#include <cstdint>
#include <iterator>

namespace {

struct Letter {
    const char* name;
    uint8_t byte;
};

// The ISO 8859-1 letters, each replaced by its single byte.
constexpr Letter kLetters[] = {
    {"Aacute", 0xC1}, {"Agrave", 0xC0}, {"Acirc", 0xC2},  {"Atilde", 0xC3}, {"Aring", 0xC5},
    {"Auml", 0xC4},   {"AElig", 0xC6},  {"Ccedil", 0xC7}, {"Eacute", 0xC9}, {"Egrave", 0xC8},
    {"Ecirc", 0xCA},  {"Euml", 0xCB},   {"Iacute", 0xCD}, {"Igrave", 0xCC}, {"Icirc", 0xCE},
    {"Iuml", 0xCF},   {"ETH", 0xD0},    {"Ntilde", 0xD1}, {"Oacute", 0xD3}, {"Ograve", 0xD2},
    {"Ocirc", 0xD4},  {"Otilde", 0xD5}, {"Ouml", 0xD6},   {"Oslash", 0xD8}, {"Uacute", 0xDA},
    {"Ugrave", 0xD9}, {"Ucirc", 0xDB},  {"Uuml", 0xDC},   {"Yacute", 0xDD}, {"THORN", 0xDE},
    {"szlig", 0xDF},  {"aacute", 0xE1}, {"agrave", 0xE0}, {"acirc", 0xE2},  {"atilde", 0xE3},
    {"aring", 0xE5},  {"auml", 0xE4},   {"aelig", 0xE6},  {"ccedil", 0xE7}, {"eacute", 0xE9},
    {"egrave", 0xE8}, {"ecirc", 0xEA},  {"euml", 0xEB},   {"iacute", 0xED}, {"igrave", 0xEC},
    {"icirc", 0xEE},  {"iuml", 0xEF},   {"eth", 0xF0},    {"ntilde", 0xF1}, {"oacute", 0xF3},
    {"ograve", 0xF2}, {"ocirc", 0xF4},  {"otilde", 0xF5}, {"ouml", 0xF6},   {"oslash", 0xF8},
    {"uacute", 0xFA}, {"ugrave", 0xF9}, {"ucirc", 0xFB},  {"uuml", 0xFC},   {"yacute", 0xFD},
    {"thorn", 0xFE},  {"yuml", 0xFF},
};

// Semicolon searched within this many characters after "&".
constexpr size_t kEntitySearch = 7;

std::unordered_map<std::string, std::string> BuildEntityTable() {
    std::unordered_map<std::string, std::string> table;
    table["lt"] = "<";
    table["gt"] = ">";
    table["amp"] = "&";
    table["quot"] = "\"";
    for (const Letter& letter : kLetters) table[letter.name] = std::string(1, static_cast<char>(letter.byte));
    table["reg"] = std::string(1, static_cast<char>(0xAE));
    table["copy"] = std::string(1, static_cast<char>(0xA9));
    table["trade"] = "(TM)";
    table["nbsp"] = " ";
    for (int code = 32; code <= 255; code++) {
        if (code >= 127 && code <= 160) continue;
        table["#" + std::to_string(code)] = std::string(1, static_cast<char>(code));
    }
    return table;
}

}  // namespace

const std::unordered_map<std::string, std::string>& EntityTable() {
    static const std::unordered_map<std::string, std::string> table = BuildEntityTable();
    return table;
}

std::string DecodeEntities(std::string_view text) {
    const auto& table = EntityTable();
    std::string decoded;
    decoded.reserve(text.size());
    size_t at = 0;
    while (at < text.size()) {
        size_t amp = text.find('&', at);
        if (amp == std::string_view::npos) {
            decoded.append(text.substr(at));
            break;
        }
        decoded.append(text.substr(at, amp - at));
        std::string_view window = text.substr(amp + 1, kEntitySearch);
        size_t semi = window.find(';');
        if (semi != std::string_view::npos) {
            auto entry = table.find(std::string(window.substr(0, semi)));
            if (entry != table.end()) {
                decoded += entry->second;
                at = amp + 1 + semi + 1;
                continue;
            }
        }
        decoded += '&';
        at = amp + 1;
    }
    return decoded;
}
