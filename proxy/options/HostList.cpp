#include "proxy/options/HostList.h"

#include "foundation/Fail.h"

#include <cctype>
#include <string>
#include <vector>

namespace {

constexpr size_t LONGEST_NAME = 253;

bool is_name(const std::string& word) {
    if (word.empty() || word.size() > LONGEST_NAME || word.front() == '.' || word.back() == '.') return false;
    for (char c : word)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.') return false;
    return true;
}

std::string lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// False at the first word that is no host name; bad then holds it.
bool parse(const Str& text, std::vector<std::string>& names, std::string& bad) {
    std::string word;
    const std::string all(text.c_str(), text.length());
    for (size_t i = 0; i <= all.size(); i++) {
        if (i < all.size() && all[i] != ',' && all[i] != ' ') {
            word += all[i];
            continue;
        }
        if (word.empty()) continue;
        if (!is_name(word)) {
            bad = word;
            return false;
        }
        names.push_back(lower(word));
        word.clear();
    }
    return true;
}

} // namespace

int host_list_invalid(const Str& text) {
    std::vector<std::string> names;
    std::string bad;
    if (parse(text, names, bad)) return 0;
    fail_new("HostList: ", "'" + Str(bad.substr(0, 80).c_str()) + "' is no host name (letters, digits, '-' and '.')");
    return -1;
}

bool host_listed(const Str& text, const Str& host) {
    std::vector<std::string> names;
    std::string bad;
    if (!parse(text, names, bad)) return false;
    if (names.empty()) return true;
    std::string asked = lower(std::string(host.c_str(), host.length()));
    for (const std::string& name : names)
        if (asked == name || (asked.size() > name.size() && asked.ends_with("." + name))) return true;
    return false;
}
