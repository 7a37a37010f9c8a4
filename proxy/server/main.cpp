// harbord: the caching proxy's program entry.
#include "foundation/ArgList.h"
#include "foundation/Fail.h"
#include "proxy/server/HarbordEntry.h"

#include <malloc.h>

namespace {

// Every answer frees blocks of 64 KB and more on its worker's thread. Left to
// itself, the allocator hands such memory back to the system after nearly
// every answer once many threads have run (a madvise, and with it a flush of
// every CPU's address cache): a 100 KB hit took four times as long. Freed
// memory up to this much is kept for the next answer instead.
constexpr int KEPT_FREE_BYTES = 8 << 20;
// Blocks below this come from the heap, whatever sizes were freed before.
constexpr int OWN_MAPPING_BYTES = 1 << 20;

} // namespace

int main(int argc, char** argv) {
    mallopt(M_TRIM_THRESHOLD, KEPT_FREE_BYTES);
    mallopt(M_MMAP_THRESHOLD, OWN_MAPPING_BYTES);
    ArgList arguments(argc, argv);
    if (arguments.status() != 0) {
        fail_print();
        return EXIT_SERVER_FAILED;
    }
    return harbord_entry(arguments);
}
