// The full-text search over the cache, which the worker runs itself on the
// cache files once the server has sent the cache directory and the entry ids.
#pragma once

#include "foundation/ArgList.h"
#include "foundation/Str.h"

#include <cstdint>
#include <vector>

// Builds the answer head and the result page for the query arguments (one
// "phrase" and its value). 0, or -1 with a report pending.
int search_results(const Str& directory, const std::vector<uint32_t>& ids, const ArgList& args,
                   uint32_t language, Str& head, Str& body);
