#include "foundation/Option.h"

#include "foundation/Fail.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Continuation lines of a rejection start under the message text of the
// command-line report.
const char VALID_INDENT[] = "\n                      valid: ";

} // namespace

// ---------------------------------------------------------------- OptionInt

int32_t OptionInt::from_Str(const Str& text) {
    int32_t value = text.to_long();
    if (value < minimum_ || value > maximum_) {
        fail_new("OptionInt::from_Str ", "value " + Str::from_long(value) +
                                             " is out of range;\n valid are integers from " +
                                             Str::from_long(minimum_) + " to " +
                                             Str::from_long(maximum_) + "\n");
        return -1;
    }
    value_ = value;
    return 0;
}

Str OptionInt::to_Str() const { return Str::from_long(value_); }

Str OptionInt::describe() const {
    return Str::from_long(minimum_) + " to " + Str::from_long(maximum_);
}

// ---------------------------------------------------------------- OptionStr

int32_t OptionStr::from_Str(const Str& text) {
    if (validator_ && validator_(text) != 0) {
        fail_chain("OptionStr::from_Str ", "invalid value for option");
        return -1;
    }
    value_ = text;
    return 0;
}

Str OptionStr::to_Str() const { return value_; }

Str OptionStr::describe() const { return Str("any string"); }

// --------------------------------------------------------------- OptionPath

// Access tests use access(2) with the real user. Run as root, reading and
// writing succeed on any file of a writable file system, so those two checks
// only reject what root cannot do either (a read-only mount, say); executing
// still needs an execute bit on a regular file.
int32_t OptionPath::from_Str(const Str& text) {
    Str path(text);
    if (path.length() > 1 && path[path.length() - 1] == '/') path = path.substr(0, path.length() - 1);

    struct stat status;
    if (::stat(path.c_str(), &status) != 0) {
        if (checks_ & MUST_EXIST) {
            fail_new("OptionPath::from_Str ", "file '" + path + "' doesn't exist");
            return -1;
        }
        store(path);
        return 0;
    }

    const char* problem = nullptr;
    if ((checks_ & REGULAR_FILE) && !S_ISREG(status.st_mode))
        problem = "' is not a regular file";
    else if ((checks_ & DIRECTORY) && !S_ISDIR(status.st_mode))
        problem = "' is not a directory";
    else if ((checks_ & READABLE) && ::access(path.c_str(), R_OK) != 0)
        problem = "' is not readable";
    else if ((checks_ & WRITEABLE) && ::access(path.c_str(), W_OK) != 0)
        problem = "' is not writable";
    else if ((checks_ & EXECUTABLE) && ::access(path.c_str(), X_OK) != 0)
        problem = "' is not executable";
    if (problem) {
        fail_new("OptionPath::from_Str ", "'" + path + problem);
        return -1;
    }
    store(path);
    return 0;
}

Str OptionPath::describe() const {
    Str words;
    if (checks_ & MUST_EXIST) words += "existant ";
    if (checks_ & READABLE) words += "readable ";
    if (checks_ & WRITEABLE) words += "writeable ";
    if (checks_ & EXECUTABLE) words += "executable ";
    if (checks_ & DIRECTORY) words += "directory ";
    if (checks_ & REGULAR_FILE) words += "file ";
    if (!(checks_ & MUST_EXIST)) words += "path";
    return words;
}

// --------------------------------------------------------------- OptionFlag

int32_t OptionFlag::from_Str(const Str& text) {
    Str word(text);
    word.to_upper();
    if (word == "1" || word == "TRUE" || word == "YES" || word == "ON") {
        value_ = 1;
        return 0;
    }
    if (word == "0" || word == "FALSE" || word == "NO" || word == "OFF") {
        value_ = 0;
        return 0;
    }
    fail_new("OptionFlag::from_Str ", "'" + text + "' is invalid for boolean option," +
                                          VALID_INDENT + "true false on off yes no 1 0");
    return -1;
}

Str OptionFlag::to_Str() const { return Str(value_ ? "1" : "0"); }

Str OptionFlag::describe() const { return Str("true false 1 0"); }

// ------------------------------------------------------------- OptionChoice

int32_t OptionChoice::from_Str(const Str& text) {
    Str rest(choices_);
    for (uint32_t index = 0; !rest.empty(); index++) {
        Str word = rest.cut_word();
        if (word.empty()) break;
        if (word == text) {
            index_ = index;
            return 0;
        }
    }
    fail_new("OptionChoice::from_Str ", "'" + text + "' is an invalid choice," + VALID_INDENT +
                                            choices_);
    return -1;
}

Str OptionChoice::to_Str() const {
    Str rest(choices_);
    for (uint32_t index = 0; !rest.empty(); index++) {
        Str word = rest.cut_word();
        if (index == index_) return word;
    }
    return Str();
}

Str OptionChoice::describe() const { return choices_; }

// ------------------------------------------------------------- OptionSwitch

int32_t OptionSwitch::from_Str(const Str&) { return 0; }

Str OptionSwitch::to_Str() const { return Str(); }

Str OptionSwitch::describe() const { return Str(); }
