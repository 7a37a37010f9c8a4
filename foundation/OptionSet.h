// OptionSet: a name-ordered collection of options (Option.h). It applies
// command lines and name/value lists, reads and writes the setup file, and
// produces the "-help" and "-show" listings. It refers to its options but
// does not own them; they must outlive the set. Single-threaded.
//
// Setup file (binary object stream, little-endian):
//   uint32 0x53455455 (the bytes "UTES" in file order)
//   then, for each saved option in ascending name order:
//     Str name, Str value text      (Str = uint32 length + bytes)
//   No count, no end marker: reading stops at the end of the file.
#pragma once

#include "foundation/Option.h"
#include "foundation/Str.h"

#include <cstdint>
#include <map>

class ArgList;
class ObjectDrain;
class ObjectSource;

constexpr uint32_t SETUP_FILE_MAGIC = 0x53455455;

class OptionSet {
public:
    OptionSet() = default;
    // Saves to the known setup file when modified; a failure is printed.
    ~OptionSet();
    OptionSet(const OptionSet&) = delete;
    OptionSet& operator=(const OptionSet&) = delete;

    // All int results: 0 success, -1 failure with a report pending.
    int32_t insert(Option& option);
    // Null (with a report) when no option has that name.
    Option* find(const Str& name);
    // Applies text to the named option; text equal to the current value
    // changes nothing (and leaves modified alone).
    int32_t set(const Str& name, const Str& text);
    // Applies "-name value" pairs (or "name value" with bare_names). With
    // consume, applied words are removed from the list and unknown ones stay;
    // without, the first unknown word fails.
    int32_t parse(ArgList& arguments, bool consume, bool bare_names);
    // The program's command line: meta options -help, -show, -cwd, -setup,
    // then the setup file, then the remaining arguments. Returns 1 when
    // "-help" or "-show" was handled (the caller stops), else -1 or 0.
    int32_t parse_cmdline(ArgList& arguments, const Str& default_setup_file, bool consume);
    int32_t load(const Str& path);
    // An empty path does nothing. Leaves modified as it is.
    int32_t save(const Str& path);

    // mode "cmdline" adds the lines of the meta options.
    Str help(const Str& mode) const;
    Str show() const;

    uint32_t count() const { return uint32_t(options_.size()); }
    const Str& file() const { return file_; }
    bool modified() const { return modified_; }
    void set_modified(bool modified) { modified_ = modified; }

    // Visits the options in ascending name order.
    template <typename Visit>
    void for_each(Visit visit) const {
        for (const auto& entry : options_) visit(*entry.second);
    }

private:
    struct NameOrder {
        bool operator()(const Str* a, const Str* b) const { return a->compare(*b) < 0; }
    };

    // Lookup without a report.
    Option* lookup(const Str& name) const;

    friend ObjectSource& operator>>(ObjectSource& source, OptionSet& set);
    friend ObjectDrain& operator<<(ObjectDrain& drain, const OptionSet& set);

    // Keyed by the option's own name, so no copies of names are kept.
    std::map<const Str*, Option*, NameOrder> options_;
    Str file_;
    bool modified_ = true;
};

// The setup-file contents. Reading applies every valid pair and reports (and
// prints) the bad ones; it fails only on an unreadable start or a wrong tag.
ObjectSource& operator>>(ObjectSource& source, OptionSet& set);
ObjectDrain& operator<<(ObjectDrain& drain, const OptionSet& set);
