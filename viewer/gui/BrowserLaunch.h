// Starting the user's browser on a URL. The configured command is split into
// words (double quotes group words holding blanks; the quotes themselves are
// dropped), the URL is appended as one more word, and the program is started
// detached, without a shell: whatever a URL holds, it is never interpreted.
#pragma once

#include <string>
#include <vector>

// The words of a command line. Blanks and tabs separate words outside double
// quotes; "" gives an empty word. An unclosed quote runs to the end.
std::vector<std::string> SplitCommandWords(const std::string& command);

// Runs command's words plus url as the last argument. True once the program
// has started; false for an empty command or a program that cannot be run.
bool LaunchBrowserCommand(const std::string& command, const std::string& url);
