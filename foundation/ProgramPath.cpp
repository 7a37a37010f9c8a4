#include "foundation/ProgramPath.h"

#include "foundation/Fail.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <unistd.h>

Str program_file() {
    char path[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", path, sizeof(path));
    if (length <= 0 || length >= ssize_t(sizeof(path))) {
        int error = length < 0 ? errno : ENAMETOOLONG;
        fail_new("program_file ",
                 "unable to read '/proc/self/exe' Reason code:" + Str::from_long(error));
        return Str();
    }
    return Str(path, uint32_t(length));
}

Str program_dir() {
    Str file = program_file();
    if (file.empty()) return file;
    int32_t slash = file.rfind('/');
    if (slash <= 0) return Str("/");
    return file.substr(0, uint32_t(slash));
}

Str program_name() {
    Str file = program_file();
    if (file.empty()) return file;
    int32_t slash = file.rfind('/');
    Str name = file.substr(uint32_t(slash + 1), file.length());
    int32_t dot = name.rfind('.');
    if (dot > 0) name = name.substr(0, uint32_t(dot));
    return file.substr(0, uint32_t(slash + 1)) + name;
}

bool in_build_tree() {
    Str directory = program_dir();
    return !directory.empty() && ::access((directory + "/" + BUILD_TREE_MARKER).c_str(), F_OK) == 0;
}

Str xdg_home(const char* variable, const char* fallback) {
    const char* set = std::getenv(variable);
    if (set && set[0] == '/') return Str(set);
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return Str(home) + "/" + fallback;
    fail_new("xdg_home ", Str("neither ") + variable + " nor HOME is set to an absolute path");
    return Str();
}
