#include "proxy/admin/ExportTarget.h"

#include "foundation/Fail.h"

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>

namespace {

constexpr const char* REPORTER = "ExchangePages::do_export ";

bool is_directory(const Str& path) {
    struct stat status;
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The directory a new target is made in: "." for a bare name.
Str parent_of(const Str& path) {
    int32_t slash = -1;
    for (uint32_t i = 0; i < path.length(); i++)
        if (path[i] == '/') slash = int32_t(i);
    if (slash < 0) return ".";
    return slash == 0 ? Str("/") : path.substr(0, uint32_t(slash));
}

// 1 empty, 0 not empty, -1 unreadable.
int32_t is_empty_directory(const Str& path) {
    DIR* directory = ::opendir(path.c_str());
    if (!directory) return -1;
    int32_t empty = 1;
    while (dirent* entry = ::readdir(directory)) {
        Str name(entry->d_name);
        if (!(name == ".") && !(name == "..")) empty = 0;
    }
    ::closedir(directory);
    return empty;
}

} // namespace

int32_t prepare_export_target(const Str& path, bool& recover) {
    struct stat status;
    if (::lstat(path.c_str(), &status) != 0) {
        if (errno != ENOENT || !is_directory(parent_of(path))) {
            fail_new(REPORTER, "'" + path + "' does not exist and cannot be made in an existing directory");
            return -1;
        }
        if (::mkdir(path.c_str(), 0777) != 0) {
            fail_new(REPORTER, "unable to make directory '" + path + "' Reason code:" +
                                   Str::from_long(errno));
            return -1;
        }
        recover = true;
        return 0;
    }
    if (!is_directory(path)) {
        fail_new(REPORTER, "'" + path + "' is not a directory");
        return -1;
    }
    int32_t empty = is_empty_directory(path);
    if (empty < 0) {
        fail_new(REPORTER, "unable to read directory '" + path + "'");
        return -1;
    }
    Str cachedb = path + "/cachedb";
    if (!empty && ::lstat(cachedb.c_str(), &status) != 0) {
        fail_new(REPORTER, "'" + path + "' is neither empty nor an earlier export (it holds no cachedb)");
        return -1;
    }
    recover = empty == 1;
    return 0;
}
