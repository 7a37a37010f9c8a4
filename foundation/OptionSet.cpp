#include "foundation/OptionSet.h"

#include "foundation/ArgList.h"
#include "foundation/BufStream.h"
#include "foundation/Fail.h"
#include "foundation/FileStream.h"
#include "foundation/ObjectStream.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <unistd.h>

namespace {

const char STREAM_READ_CONTEXT[] = "ObjectSource >> OptionSet ";
const char STREAM_WRITE_CONTEXT[] = "ObjectDrain << OptionSet ";

const char HELP_HEADER[] = "option    valid parameter      description\n"
                           "-----------------------------------------------\n";
const char HELP_META_LINES[] =
    "-help                          display this text\n"
    "-cwd      path                 change working directory to path\n"
    "-setup    file path            use the specified setup-file\n"
    "-show                          show current setup\n";
const char SHOW_HEADER[] = "option    current setting\n"
                           "-----------------------------------------------\n";

// Listing columns: "-name" takes 9 bytes, " parameter" 21, so every help
// text starts at byte 31. Longer entries push the line right, never cut.
constexpr uint32_t NAME_COLUMN = 9;
constexpr uint32_t PARAMETER_COLUMN = 21;

// Setup files are a few hundred bytes.
constexpr int32_t SETUP_BUFFER_SIZE = 4096;

void pad(Str& text, uint32_t width) {
    while (text.length() < width) text += ' ';
}

Str name_column(const Option& option) {
    Str column("-");
    column += option.name();
    pad(column, NAME_COLUMN);
    return column;
}

} // namespace

OptionSet::~OptionSet() {
    if (modified_ && save(file_) < 0) fail_print();
}

Option* OptionSet::lookup(const Str& name) const {
    auto found = options_.find(&name);
    return found == options_.end() ? nullptr : found->second;
}

int32_t OptionSet::insert(Option& option) {
    if (lookup(option.name())) {
        fail_new("OptionSet::insert ", "duplicate option '" + option.name() + "'");
        return -1;
    }
    try {
        options_.emplace(&option.name(), &option);
    } catch (const std::bad_alloc&) {
        fail_new("OptionSet::insert ", "unable to allocate memory");
        return -1;
    }
    return 0;
}

Option* OptionSet::find(const Str& name) {
    Option* option = lookup(name);
    if (!option) fail_new("OptionSet::find ", "unknown option '" + name + "'");
    return option;
}

int32_t OptionSet::set(const Str& name, const Str& text) {
    Option* option = lookup(name);
    if (!option) {
        fail_new("OptionSet::set ", "unknown option '" + name + "'");
        return -1;
    }
    if (option->to_Str() == text) return 0;
    if (option->from_Str(text) < 0) {
        fail_chain("OptionSet::set ", "cannot set option '" + name + "'");
        return -1;
    }
    modified_ = true;
    return 0;
}

int32_t OptionSet::parse(ArgList& arguments, bool consume, bool bare_names) {
    ArgList::Node* node = arguments.first();
    while (node) {
        Str word(node->value);
        bool names_option = bare_names || (word.length() > 0 && word[0] == '-');
        Str name = bare_names ? word : word.substr(1, word.length());

        Option* option = nullptr;
        if (names_option) option = consume ? lookup(name) : find(name);
        if (!option) {
            if (!consume) {
                fail_chain("OptionSet::parse ", "unknown option '" + word + "'");
                return -1;
            }
            node = node->next; // not ours: stays for the caller
            continue;
        }

        if (option->kind() == Option::SWITCH) {
            static_cast<OptionSwitch*>(option)->set_given(1);
            ArgList::Node* next = node->next;
            if (consume) arguments.remove(node);
            node = next;
            continue;
        }

        ArgList::Node* value = node->next;
        if (consume) arguments.remove(node);
        if (!value) {
            fail_new("OptionSet::parse ", "missing parameter for option '" + word + "'");
            return -1;
        }
        if (set(option->name(), value->value) < 0) {
            // This is the text the command-line user sees, hence its reporter.
            fail_chain("OptionSet::parse_cmdline ", "cannot set option '" + word + "'");
            return -1;
        }
        node = value->next;
        if (consume) arguments.remove(value);
    }
    return 0;
}

int32_t OptionSet::parse_cmdline(ArgList& arguments, const Str& default_setup_file, bool consume) {
    OptionSwitch help_switch("help", "", false);
    OptionPath cwd("cwd", "", "", OptionPath::DIRECTORY | OptionPath::EXECUTABLE, false);
    OptionPath setup("setup", "", default_setup_file, 0, false);
    OptionSwitch show_switch("show", "", false);
    {
        // Never saved: its file stays empty.
        OptionSet meta;
        if (meta.insert(help_switch) < 0 || meta.insert(cwd) < 0 || meta.insert(setup) < 0 ||
            meta.insert(show_switch) < 0)
            return -1;
        if (meta.parse(arguments, true, false) < 0) return -1;
    }

    // The directory changes first, so a relative setup path is found there.
    if (!cwd.value().empty() && ::chdir(cwd.value().c_str()) != 0) {
        fail_new("OptionSet::parse_cmdline ",
                 "unable to change working directory to '" + cwd.value() + "'");
        return -1;
    }
    // A missing or bad setup file has printed its report; defaults stay.
    if (!setup.value().empty()) load(setup.value());

    if (show_switch.given()) diag_drain() << show();
    if (help_switch.given()) diag_drain() << help("cmdline");
    if (show_switch.given() || help_switch.given()) return 1;

    return parse(arguments, consume, false);
}

int32_t OptionSet::load(const Str& path) {
    file_ = path;
    modified_ = true;
    bool missing = ::access(path.c_str(), F_OK) != 0 && errno == ENOENT;
    IFileStream file(path);
    if (file.open_failed() && missing) {
        // A first start, not a malfunction.
        fail_take();
        Str note = "no setup file '" + path + "' yet: default values are used\n";
        std_err().ewrite(note.data(), int32_t(note.length()));
        return -1;
    }
    if (file.open_failed()) {
        fail_chain("OptionSet::load ", "cannot open option-file, default values will be used");
        fail_print();
        return -1;
    }
    BufReadable buffer(file, SETUP_BUFFER_SIZE);
    BinarySource source(buffer);
    source >> *this;
    if (source.error()) {
        fail_print();
        return -1;
    }
    return 0;
}

int32_t OptionSet::save(const Str& path) {
    if (path.empty()) return 0;
    file_ = path;
    OFileStream file(path, O_CREAT | O_TRUNC);
    if (file.open_failed()) {
        fail_chain("OptionSet::save ", "cannot write options to file");
        return -1;
    }
    BufWriteable buffer(file, SETUP_BUFFER_SIZE);
    BinaryDrain drain(buffer);
    drain << *this;
    int32_t flushed = buffer.flush();
    if (flushed != 0 || drain.error() || file.write_error()) {
        fail_chain("OptionSet::save ", "cannot write options to file");
        return -1;
    }
    return 0;
}

Str OptionSet::help(const Str& mode) const {
    Str text(HELP_HEADER);
    if (mode == "cmdline") text += HELP_META_LINES;
    for (const auto& entry : options_) {
        const Option& option = *entry.second;
        Str parameter(" ");
        parameter += option.describe();
        pad(parameter, PARAMETER_COLUMN);
        text += name_column(option);
        text += parameter;
        text += ' ';
        text += option.help();
        text += '\n';
    }
    return text;
}

Str OptionSet::show() const {
    Str text(SHOW_HEADER);
    for (const auto& entry : options_) {
        const Option& option = *entry.second;
        if (option.kind() == Option::SWITCH) continue;
        text += name_column(option);
        text += ' ';
        text += option.to_Str();
        text += '\n';
    }
    return text;
}

ObjectSource& operator>>(ObjectSource& source, OptionSet& set) {
    int status = 0;
    source.open(status);
    if (status != 0) {
        fail_chain(STREAM_READ_CONTEXT, "cannot read options, default values will be used");
        source.set_error();
        source.close();
        return source;
    }

    uint32_t magic = 0;
    source >> magic;
    if (source.error() || magic != SETUP_FILE_MAGIC) {
        // A file too short for the tag has a report of its own pending.
        if (source.error())
            fail_chain(STREAM_READ_CONTEXT, "invalid setup-file, default values will be used");
        else
            fail_new(STREAM_READ_CONTEXT, "invalid setup-file, default values will be used");
        source.set_error();
        source.close();
        return source;
    }

    bool pair_failed = false;
    for (;;) {
        Str name;
        Str value;
        source >> name;
        if (source.error()) break;
        source >> value;
        if (source.error()) break;

        Option* option = set.lookup(name);
        if (!option) {
            fail_new(STREAM_READ_CONTEXT, "unknown option '" + name + "' (ignored)");
            fail_print();
            pair_failed = true;
            continue;
        }
        if (!option->saved()) continue;
        if (option->from_Str(value) < 0) {
            fail_chain(STREAM_READ_CONTEXT, "cannot set option '" + name + "' (ignored)");
            fail_print();
            pair_failed = true;
        }
    }

    // The end of the file shows as a failed read: expected, not a fault.
    fail_take();
    source.clear_error();
    if (!pair_failed) set.modified_ = false;
    source.close();
    return source;
}

ObjectDrain& operator<<(ObjectDrain& drain, const OptionSet& set) {
    int status = 0;
    drain.open(status);
    if (status != 0) {
        fail_chain(STREAM_WRITE_CONTEXT, "cannot write options");
        drain.close();
        return drain;
    }
    drain << SETUP_FILE_MAGIC;
    for (const auto& entry : set.options_) {
        const Option& option = *entry.second;
        if (!option.saved()) continue;
        drain << option.name() << option.to_Str();
        if (drain.error()) {
            fail_chain(STREAM_WRITE_CONTEXT, "cannot write options");
            break;
        }
    }
    drain.close();
    return drain;
}
