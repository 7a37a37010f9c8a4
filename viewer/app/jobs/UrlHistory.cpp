#include "viewer/app/jobs/UrlHistory.h"

#include "viewer/gui/IniFile.h"

#include <cerrno>
#include <cstdlib>

namespace {

constexpr char kCount[] = "Count";
constexpr char kUrl[] = "URL";

std::string Trimmed(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return std::string();
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

size_t ReadCount(const IniFile& config) {
    std::string text = Trimmed(config.Read(ini::kParsedUrls, kCount));
    if (text.empty()) return 0;
    char* end = nullptr;
    errno = 0;
    long count = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || count <= 0) return 0;
    return std::min(static_cast<size_t>(count), kUrlHistoryLength);
}

}  // namespace

std::vector<std::string> ReadUrlHistory(const IniFile& config) {
    std::vector<std::string> urls;
    size_t count = ReadCount(config);
    for (size_t i = 0; i < count; i++) {
        std::string url = Trimmed(config.Read(ini::kParsedUrls, kUrl + std::to_string(i)));
        if (!url.empty()) urls.push_back(url);
    }
    return urls;
}

std::vector<std::string> PushUrlHistory(IniFile& config, const std::string& url, bool* written) {
    std::vector<std::string> old = ReadUrlHistory(config);
    std::vector<std::string> urls{url};
    for (size_t i = 0; i < old.size() && i < kUrlHistoryLength - 1; i++)
        if (old[i] != url) urls.push_back(old[i]);
    bool ok = config.Write(ini::kParsedUrls, kCount, std::to_string(urls.size()));
    for (size_t i = 0; i < urls.size(); i++)
        ok = config.Write(ini::kParsedUrls, kUrl + std::to_string(i), urls[i]) && ok;
    if (written) *written = ok;
    return urls;
}
