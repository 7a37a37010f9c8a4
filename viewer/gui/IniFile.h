// The configuration file "vantlow.ini": groups in brackets, "Key=Value"
// lines, read and written by name. Lines it does not understand (comments,
// blank lines) are kept as they are, so the user's own notes survive a write.
// Every change is written through at once: nothing is lost when the program
// ends abnormally.
#pragma once

#include <string>
#include <vector>

class IniFile {
public:
    IniFile() = default;
    explicit IniFile(std::string path) { Open(std::move(path)); }

    // Reads the file at path (a missing file is an empty configuration) and
    // makes later writes go there.
    void Open(std::string path);
    const std::string& Path() const { return path_; }

    // The value of key in group (names compared exactly), or fallback.
    std::string Read(const std::string& group, const std::string& key, const std::string& fallback = {}) const;
    // Sets the value and writes the file. False when it could not be written
    // (the value is still held in memory).
    bool Write(const std::string& group, const std::string& key, const std::string& value);

    // The file's text as it would be written.
    std::string Text() const;
    bool Save() const;

private:
    struct Line {
        std::string group;  // the group the line belongs to
        std::string key;    // empty for a group header or an unknown line
        std::string text;   // the whole line for headers and unknown lines, else the value
        bool header = false;
    };

    void Parse(const std::string& text);

    std::string path_;
    std::vector<Line> lines_;
};

// $XDG_CONFIG_HOME/vantlow/vantlow.ini, or ~/.config/vantlow/vantlow.ini.
std::string DefaultConfigPath();

// Names of the groups and keys the program reads and writes.
namespace ini {
constexpr char kGeneral[] = "General";
constexpr char kBrowser[] = "Browser";
constexpr char kDial[] = "Dial";
constexpr char kParsedUrls[] = "ParsedURLs";
// The main window as it was left: "left top width height" (not maximized),
// Maximized, ToolBoxDocked, and the panes new graph windows show (1 or 0).
constexpr char kWindow[] = "Window";
constexpr char kPlacement[] = "Placement";
constexpr char kMaximized[] = "Maximized";
constexpr char kToolBoxDocked[] = "ToolBoxDocked";
constexpr char kOverviewPane[] = "Overview";
constexpr char kPageIndexPane[] = "PageIndex";
}  // namespace ini
