// harbord: the caching proxy's program entry.
#include "foundation/ArgList.h"
#include "foundation/Fail.h"
#include "foundation/ObjectStream.h"
#include "foundation/ProgramPath.h"
#include "proxy/server/RelaisOptions.h"

namespace {

constexpr int EXIT_BAD_START = 20;

// Reads the command line and the setup file, writes the setup file back.
// Returns the process's exit code.
int run(ArgList& arguments, const Str& name) {
    RelaisOptions options;
    // Nothing else reads the words left over, so an unknown one is an error
    // rather than silently ignored.
    int32_t result = options.set.parse_cmdline(arguments, name + ".cfg", false);
    if (result < 0) {
        diag_drain() << Str("\nsyntax information:\n") << options.set.help("cmdline");
        fail_print();
        return EXIT_BAD_START;
    }
    if (result > 0) return 0; // "-help" or "-show" handled

    // Command-line values stay in force on later starts.
    if (options.set.save(options.set.file()) < 0) fail_print();

    diag_drain() << Str("harbord: the proxy server is not available in this build yet\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    ArgList arguments(argc, argv);
    if (arguments.status() != 0) {
        fail_print();
        return EXIT_BAD_START;
    }
    if (arguments.first()) arguments.remove(arguments.first());

    Str name = program_name();
    if (name.empty()) {
        // Without /proc the setup file is looked for in the working directory.
        fail_print();
        name = "harbord";
    }
    return run(arguments, name);
}
