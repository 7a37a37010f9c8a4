// harbord: the caching proxy's program entry.
#include "foundation/ArgList.h"
#include "foundation/Fail.h"
#include "proxy/server/HarbordEntry.h"

int main(int argc, char** argv) {
    ArgList arguments(argc, argv);
    if (arguments.status() != 0) {
        fail_print();
        return EXIT_SERVER_FAILED;
    }
    return harbord_entry(arguments);
}
