// Options: named, typed and validated settings with a text form. An option
// set (OptionSet.h) reads them from the command line and the setup file and
// lists them; the options themselves live in the object that builds the set.
//
// from_Str returns 0 when the text was accepted and stored, -1 when it was
// rejected: the value is then unchanged and a failure report is pending.
#pragma once

#include "foundation/Str.h"

#include <cstdint>

class Option {
public:
    enum Kind : int32_t {
        INT = 1,
        STRING = 3,
        PATH = 4,
        FLAG = 5,
        CHOICE = 6,
        SWITCH = 7,
    };

    Option(int32_t kind, const Str& name, const Str& help, bool saved)
        : kind_(kind), name_(name), help_(help), saved_(saved) {}
    virtual ~Option() = default;
    Option(const Option&) = delete;
    Option& operator=(const Option&) = delete;

    virtual int32_t from_Str(const Str& text) = 0;
    virtual Str to_Str() const = 0;
    // The parameter column of the "-help" listing.
    virtual Str describe() const = 0;

    int32_t kind() const { return kind_; }
    const Str& name() const { return name_; }
    const Str& help() const { return help_; }
    // Written to and accepted from the setup file.
    bool saved() const { return saved_; }

private:
    int32_t kind_;
    Str name_;
    Str help_;
    bool saved_;
};

class OptionInt : public Option {
public:
    OptionInt(const Str& name, const Str& help, int32_t value, int32_t minimum, int32_t maximum,
              bool saved)
        : Option(INT, name, help, saved), value_(value), minimum_(minimum), maximum_(maximum) {}

    int32_t from_Str(const Str& text) override;
    Str to_Str() const override;
    Str describe() const override;

    int32_t value() const { return value_; }
    int32_t minimum() const { return minimum_; }
    int32_t maximum() const { return maximum_; }

private:
    int32_t value_;
    int32_t minimum_;
    int32_t maximum_;
};

class OptionStr : public Option {
public:
    // Returns non-zero to reject the candidate text.
    using Validator = int (*)(const Str& candidate);

    OptionStr(const Str& name, const Str& help, const Str& value, Validator validator, bool saved)
        : Option(STRING, name, help, saved), value_(value), validator_(validator) {}

    int32_t from_Str(const Str& text) override;
    Str to_Str() const override;
    Str describe() const override;

    const Str& value() const { return value_; }

protected:
    OptionStr(int32_t kind, const Str& name, const Str& help, const Str& value, bool saved)
        : Option(kind, name, help, saved), value_(value), validator_(nullptr) {}
    void store(const Str& value) { value_ = value; }

private:
    Str value_;
    Validator validator_;
};

class OptionPath : public OptionStr {
public:
    // Check flags: what an existing path must be. A path that does not exist
    // is accepted unless MUST_EXIST is set. The access tests ask access(2)
    // for the real user: for root, reading and writing only fail where root
    // fails too (a read-only file system), executing needs an execute bit.
    enum Check : uint32_t {
        MUST_EXIST = 1,
        REGULAR_FILE = 2,
        DIRECTORY = 4,
        READABLE = 8,
        WRITEABLE = 16,
        EXECUTABLE = 32,
    };

    OptionPath(const Str& name, const Str& help, const Str& value, uint32_t checks, bool saved)
        : OptionStr(PATH, name, help, value, saved), checks_(checks) {}

    int32_t from_Str(const Str& text) override;
    Str describe() const override;

    uint32_t checks() const { return checks_; }

private:
    uint32_t checks_;
};

class OptionFlag : public Option {
public:
    OptionFlag(const Str& name, const Str& help, int32_t value, bool saved)
        : Option(FLAG, name, help, saved), value_(value ? 1 : 0) {}

    int32_t from_Str(const Str& text) override;
    Str to_Str() const override;
    Str describe() const override;

    int32_t value() const { return value_; }

private:
    int32_t value_;
};

class OptionChoice : public Option {
public:
    // choices: the allowed words separated by blanks; index is 0-based.
    OptionChoice(const Str& name, const Str& help, uint32_t index, const Str& choices, bool saved)
        : Option(CHOICE, name, help, saved), index_(index), choices_(choices) {}

    int32_t from_Str(const Str& text) override;
    Str to_Str() const override;
    Str describe() const override;

    uint32_t index() const { return index_; }
    const Str& choices() const { return choices_; }

private:
    uint32_t index_;
    Str choices_;
};

// Takes no value: the command line either names it or not.
class OptionSwitch : public Option {
public:
    OptionSwitch(const Str& name, const Str& help, bool saved)
        : Option(SWITCH, name, help, saved) {}

    int32_t from_Str(const Str& text) override;
    Str to_Str() const override;
    Str describe() const override;

    int32_t given() const { return given_; }
    void set_given(int32_t given) { given_ = given ? 1 : 0; }

private:
    int32_t given_ = 0;
};
