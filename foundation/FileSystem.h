// File status, a sorted directory scanner and small path helpers. Paths use
// "/" as separator; a path is absolute when it begins with "/".
#pragma once

#include "foundation/Str.h"

#include <cstdint>
#include <ctime>
#include <sys/types.h>
#include <vector>

// The status of one file (stat(2), following symbolic links).
class Stat {
public:
    Stat() = default; // not queried: failed, without a report
    explicit Stat(const Str& path);
    // Queries path anew; 0, or -1 with the failed flag set and a report.
    int query(const Str& path);

    bool failed() const { return failed_; }
    int64_t size() const { return size_; }
    // What the file takes on its disk: its blocks, at least its size in
    // whole 4 KiB pages (a file system may report blocks late).
    int64_t footprint() const;
    bool is_directory() const { return is_directory_; }
    bool is_regular() const { return is_regular_; }
    time_t modified() const { return modified_; }
    time_t accessed() const { return accessed_; }
    time_t changed() const { return changed_; }
    mode_t mode() const { return mode_; }

private:
    bool failed_ = true;
    int64_t size_ = 0;
    int64_t allocated_ = 0;
    bool is_directory_ = false;
    bool is_regular_ = false;
    time_t modified_ = 0;
    time_t accessed_ = 0;
    time_t changed_ = 0;
    mode_t mode_ = 0;
};

// Bytes an unprivileged writer may still put on the file system of path;
// -1 when that cannot be told.
int64_t free_space(const Str& path);

// The files below a root, sorted by Str::compare of their full paths
// (root + "/" + name + ...). A root that is not a directory is the single
// entry. Symbolic links to directories are listed but not followed into.
class DirTree {
public:
    struct Entry {
        Str path;
        Stat stat;
    };

    DirTree(const Str& root, bool recursive);

    int status() const { return status_; } // 0 success, 1 failure (reported)
    const std::vector<Entry>& entries() const { return entries_; }
    std::vector<Entry>::const_iterator begin() const { return entries_.begin(); }
    std::vector<Entry>::const_iterator end() const { return entries_.end(); }
    size_t size() const { return entries_.size(); }

private:
    int recurse_add_dir(const Str& dir); // 0 or -1

    std::vector<Entry> entries_;
    bool recursive_;
    int status_ = 1;
};

// Text before the last separator, without trailing separator + "." pairs;
// "." when there is no separator, separator alone for a file in the root.
Str dir_part(const Str& path, char separator = '/');
// Text after the last separator; the whole path when there is none.
Str file_part(const Str& path, char separator = '/');
// The path without the extension of its last component (text from its last ".").
Str strip_extension(const Str& path);
// dir_part of the path made absolute with the current working directory.
Str abs_dir(const Str& path, char separator = '/');
