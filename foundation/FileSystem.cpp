#include "foundation/FileSystem.h"

#include "foundation/Fail.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

// ---- Stat ----

Stat::Stat(const Str& path) { query(path); }

int64_t Stat::footprint() const {
    constexpr int64_t PAGE = 4096;
    int64_t pages = (size_ + PAGE - 1) / PAGE * PAGE;
    return allocated_ > pages ? allocated_ : pages;
}

int64_t free_space(const Str& path) {
    struct statvfs info;
    if (::statvfs(path.c_str(), &info) != 0) return -1;
    return int64_t(info.f_bavail) * int64_t(info.f_frsize);
}

int Stat::query(const Str& path) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        *this = Stat();
        fail_new("Stat: ", "unable to stat non-existing file '" + path + "'");
        return -1;
    }
    failed_ = false;
    size_ = int64_t(info.st_size);
    allocated_ = int64_t(info.st_blocks) * 512;
    is_directory_ = S_ISDIR(info.st_mode);
    is_regular_ = S_ISREG(info.st_mode);
    modified_ = info.st_mtime;
    accessed_ = info.st_atime;
    changed_ = info.st_ctime;
    mode_ = info.st_mode;
    return 0;
}

// ---- DirTree ----

namespace {

Str join(const Str& dir, const char* name) {
    bool has_separator = dir.length() > 0 && dir[dir.length() - 1] == '/';
    return has_separator ? dir + name : dir + "/" + name;
}

// A link to a directory is listed but not entered: a link to an ancestor
// would otherwise recurse until the path grows too long.
bool is_symlink(const Str& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

struct DirCloser {
    DIR* dir;
    ~DirCloser() { ::closedir(dir); }
};

} // namespace

DirTree::DirTree(const Str& root, bool recursive) : recursive_(recursive) {
    Stat root_stat(root);
    if (root_stat.failed()) {
        fail_chain("DirTree: ", "unable to stat '" + root + "'");
        return;
    }
    if (!root_stat.is_directory()) {
        entries_.push_back(Entry{root, root_stat});
        status_ = 0;
        return;
    }
    if (recurse_add_dir(root) != 0) {
        fail_chain("DirTree: ", "unable to construct directory-tree");
        return;
    }
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const Entry& a, const Entry& b) { return a.path.compare(b.path) < 0; });
    status_ = 0;
}

int DirTree::recurse_add_dir(const Str& dir) {
    DIR* handle;
    do {
        handle = ::opendir(dir.c_str());
    } while (!handle && errno == EINTR);
    if (!handle) {
        fail_new("DirTree::recurse_add_dir ", "unable to open directory '" + dir + "'");
        return -1;
    }
    DirCloser closer{handle};
    while (struct dirent* item = ::readdir(handle)) {
        const char* name = item->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        Str path = join(dir, name);
        Stat stat(path);
        if (stat.failed()) {
            fail_chain("DirTree::recurse_add_dir ", "unable to stat '" + path + "'");
            return -1;
        }
        entries_.push_back(Entry{path, stat});
        if (recursive_ && stat.is_directory() && !is_symlink(path) && recurse_add_dir(path) != 0)
            return -1;
    }
    return 0;
}

// ---- Path helpers ----

namespace {

// Index of the last c in path, or -1.
int64_t last_index(const Str& path, char c) {
    for (int64_t i = int64_t(path.length()) - 1; i >= 0; i--)
        if (path[uint32_t(i)] == c) return i;
    return -1;
}

} // namespace

Str dir_part(const Str& path, char separator) {
    int64_t last = last_index(path, separator);
    if (last < 0) return Str(".");
    uint32_t end = uint32_t(last);
    const char* p = path.data();
    while (end >= 2 && p[end - 1] == '.' && p[end - 2] == separator) end -= 2;
    // A file directly in the root: its directory is the root itself.
    if (end == 0) return Str(&separator, 1);
    return Str(p, end);
}

Str file_part(const Str& path, char separator) {
    int64_t last = last_index(path, separator);
    if (last < 0) return path;
    uint32_t from = uint32_t(last) + 1;
    return Str(path.data() + from, path.length() - from);
}

Str strip_extension(const Str& path) {
    int64_t dot = last_index(path, '.');
    // A dot in a directory name ("./x", "a.d/x") is no extension.
    if (dot < 0 || dot < last_index(path, '/')) return path;
    return Str(path.data(), uint32_t(dot));
}

Str abs_dir(const Str& path, char separator) {
    if (path.length() > 0 && path[0] == separator) return dir_part(path, separator);
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd)) return dir_part(path, separator);
    Str absolute(cwd);
    if (absolute.length() == 0 || absolute[absolute.length() - 1] != separator) absolute += separator;
    absolute += path;
    return dir_part(absolute, separator);
}
