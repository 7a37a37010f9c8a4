// The name this proxy gives itself in Via lines: "quaylo-" and 8 random hex
// digits, made once per process, so that no host name leaks and two chained
// proxies (or a proxy restarted) differ.
#pragma once

#include "foundation/Str.h"

const Str& via_pseudonym();
