#include "proxy/server/HarbordEntry.h"

#include "foundation/Fail.h"
#include "foundation/ProgramPath.h"
#include "proxy/server/Relais.h"
#include "proxy/server/UrlGet.h"

int harbord_entry(ArgList& arguments) {
    if (arguments.first()) arguments.remove(arguments.first());

    // The program's place comes from the running executable, not from the
    // first argument: a worker only gets the bare file name. The executable
    // does not move while it runs, so every worker need not look it up again.
    // Never destroyed: a worker may still start while the process ends.
    static const Str& name = *[] {
        auto* found = new Str(program_name());
        if (found->empty()) {
            // Without /proc the setup file is looked for in the working directory.
            fail_print();
            *found = "harbord";
        }
        return found;
    }();

    ArgList::Node* role = arguments.first();
    if (role && role->value == "-urlget") {
        arguments.remove(role);
        urlget_main(name, arguments);
        return 0;
    }

    Relais server(name, arguments, harbord_entry);
    if (server.status() == 0) return 0;
    fail_print();
    return EXIT_SERVER_FAILED;
}
