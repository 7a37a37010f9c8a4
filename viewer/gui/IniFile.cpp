#include "viewer/gui/IniFile.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return std::string();
    size_t end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

}  // namespace

void IniFile::Open(std::string path) {
    path_ = std::move(path);
    lines_.clear();
    std::ifstream in(path_, std::ios::binary);
    if (!in) return;
    Parse(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

void IniFile::Parse(const std::string& text) {
    std::istringstream in(text);
    std::string raw;
    std::string group;
    while (std::getline(in, raw)) {
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        std::string line = Trim(raw);
        Line entry;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            group = line.substr(1, line.size() - 2);
            entry.group = group;
            entry.header = true;
            entry.text = raw;
        } else {
            entry.group = group;
            size_t equals = line.find('=');
            if (!line.empty() && line[0] != ';' && line[0] != '#' && equals != std::string::npos && equals > 0) {
                entry.key = Trim(line.substr(0, equals));
                entry.text = line.substr(equals + 1);
            } else {
                entry.text = raw;
            }
        }
        lines_.push_back(std::move(entry));
    }
}

std::string IniFile::Read(const std::string& group, const std::string& key, const std::string& fallback) const {
    for (const Line& line : lines_)
        if (!line.header && !line.key.empty() && line.group == group && line.key == key) return line.text;
    return fallback;
}

bool IniFile::Write(const std::string& group, const std::string& key, const std::string& value) {
    // A value is one line: a line break would start a new key.
    std::string clean;
    for (char c : value)
        if (c != '\r' && c != '\n') clean += c;

    size_t lastOfGroup = std::string::npos;
    bool groupSeen = false;
    for (size_t i = 0; i < lines_.size(); i++) {
        Line& line = lines_[i];
        if (line.group != group) continue;
        if (!line.header && line.key == key) {
            line.text = clean;
            return Save();
        }
        // New keys go after the group's last key, before trailing blank lines.
        if (line.header || !line.key.empty()) lastOfGroup = i;
        groupSeen = true;
    }
    Line entry{group, key, clean, false};
    if (groupSeen) {
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastOfGroup + 1), std::move(entry));
    } else {
        lines_.push_back(Line{group, std::string(), "[" + group + "]", true});
        lines_.push_back(std::move(entry));
    }
    return Save();
}

std::string IniFile::Text() const {
    std::string text;
    for (const Line& line : lines_) {
        if (line.header || line.key.empty())
            text += line.text;
        else
            text += line.key + "=" + line.text;
        text += '\n';
    }
    return text;
}

bool IniFile::Save() const {
    if (path_.empty()) return false;
    std::error_code error;
    std::filesystem::path file(path_);
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), error);
    // Written beside and renamed over, so a full disk never leaves half a file.
    std::string temporary = path_ + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << Text();
        out.flush();
        if (!out) return false;
    }
    std::filesystem::rename(temporary, file, error);
    return !error;
}

std::string DefaultConfigPath() {
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && *home ? home : "/tmp") + "/.config";
    }
    return base + "/vantlow/vantlow.ini";
}
