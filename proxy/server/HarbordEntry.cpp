#include "proxy/server/HarbordEntry.h"

#include "foundation/Fail.h"
#include "foundation/ProgramPath.h"
#include "proxy/server/Relais.h"
#include "proxy/server/UrlGet.h"

int harbord_entry(ArgList& arguments) {
    if (arguments.first()) arguments.remove(arguments.first());

    // The program's place comes from the running executable, not from the
    // first argument: a worker only gets the bare file name.
    Str name = program_name();
    if (name.empty()) {
        // Without /proc the setup file is looked for in the working directory.
        fail_print();
        name = "harbord";
    }

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
