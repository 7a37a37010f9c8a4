#include "viewer/app/dialup/DialSettings.h"

#include "viewer/app/dialup/PasswordScrambler.h"
#include "viewer/gui/IniFile.h"

#include <cerrno>
#include <cstdlib>

namespace {

std::string Trimmed(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return std::string();
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

// A whole decimal number, or false.
bool ReadNumber(const std::string& raw, long& value) {
    std::string text = Trimmed(raw);
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long parsed = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || errno != 0) return false;
    value = parsed;
    return true;
}

}  // namespace

DialSettings DialSettings::Read(const IniFile& config) {
    DialSettings settings;
    const char* group = ini::kDial;
    settings.userName = Trimmed(config.Read(group, dial_key::kUserName));
    settings.password = UnscramblePasswordHex(config.Read(group, dial_key::kPassword));
    settings.domain = Trimmed(config.Read(group, dial_key::kDomain, settings.domain));
    settings.entryName = Trimmed(config.Read(group, dial_key::kEntryName));
    long number = 0;
    if (ReadNumber(config.Read(group, dial_key::kUseCurrentUser), number)) settings.useCurrentUser = number != 0;
    if (ReadNumber(config.Read(group, dial_key::kMode), number) && number >= 0 && number <= 2)
        settings.mode = static_cast<DialMode>(number);
    return settings;
}

bool DialSettings::Write(IniFile& config) const {
    const char* group = ini::kDial;
    bool written = config.Write(group, dial_key::kUserName, userName);
    written = config.Write(group, dial_key::kPassword, ScramblePasswordHex(password)) && written;
    written = config.Write(group, dial_key::kDomain, domain) && written;
    written = config.Write(group, dial_key::kEntryName, entryName) && written;
    written = config.Write(group, dial_key::kUseCurrentUser, useCurrentUser ? "1" : "0") && written;
    written = config.Write(group, dial_key::kMode, std::to_string(static_cast<int>(mode))) && written;
    return written;
}
