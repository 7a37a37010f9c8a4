#include "viewer/gui/BrowserLaunch.h"

#include <QProcess>
#include <QString>
#include <QStringList>

std::vector<std::string> SplitCommandWords(const std::string& command) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (char c : command) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

bool LaunchBrowserCommand(const std::string& command, const std::string& url) {
    std::vector<std::string> words = SplitCommandWords(command);
    if (words.empty() || words.front().empty()) return false;
    QStringList arguments;
    for (size_t i = 1; i < words.size(); i++) arguments << QString::fromStdString(words[i]);
    arguments << QString::fromStdString(url);
    // startDetached execs the program itself and reports a failed exec.
    return QProcess::startDetached(QString::fromStdString(words.front()), arguments);
}
