// The last start URLs, newest first, in group "ParsedURLs" of
// "vantlow.ini": "Count" and "URL0", "URL1", ...
#pragma once

#include <string>
#include <vector>

class IniFile;

constexpr size_t kUrlHistoryLength = 10;

// At most kUrlHistoryLength entries; a missing or garbled count gives none,
// empty entries are left out.
std::vector<std::string> ReadUrlHistory(const IniFile& config);
// The new URL first, then those of the first nine old entries that differ
// from it. Returns the list written; false in `written` when the file could
// not be saved.
std::vector<std::string> PushUrlHistory(IniFile& config, const std::string& url, bool* written = nullptr);
