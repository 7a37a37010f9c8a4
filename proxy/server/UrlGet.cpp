// The request worker; see UrlGet.h.
#include "proxy/server/UrlGet.h"

int urlget_main(const Str& program_name, ArgList& args) {
    (void)program_name;
    (void)args;
    return 0;
}
