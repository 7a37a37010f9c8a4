// The dial-up settings, kept in group "Dial" of "vantlow.ini". The password
// is held here in plain text and stored scrambled.
#pragma once

#include <cstdint>
#include <string>

class IniFile;

enum class DialMode : int32_t {
    Never = 0,
    Always = 1,
    ScheduledOnly = 2,  // only when processing scheduled jobs
};

struct DialSettings {
    std::string userName;
    std::string password;
    std::string domain = "*";  // "*": the phone-book entry decides
    std::string entryName;     // the phone-book entry to dial
    bool useCurrentUser = true;  // then user name, password and domain are not passed
    DialMode mode = DialMode::Never;

    // Missing or unreadable values keep their defaults; a mode outside 0 to 2
    // means never dial.
    static DialSettings Read(const IniFile& config);
    // All six keys; false when the file could not be written.
    bool Write(IniFile& config) const;

    // Whether a job dials before it loads.
    bool MustDial(bool scheduledRun) const {
        return mode == DialMode::Always || (mode == DialMode::ScheduledOnly && scheduledRun);
    }
};

namespace dial_key {
constexpr char kUserName[] = "username";
constexpr char kPassword[] = "password";
constexpr char kDomain[] = "domain";
constexpr char kEntryName[] = "phonebookentry";
constexpr char kUseCurrentUser[] = "UsingCurrentUser";
constexpr char kMode[] = "CareAboutDialing";
}  // namespace dial_key
