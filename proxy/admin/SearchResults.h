// The full-text search over the cache, run by the request worker on the
// cache files once the server has sent the cache directory and the ids of
// all entries (in URL order).
//
// The phrase is cut at every "," into pieces (blanks kept, empty pieces
// too); a document is listed when every piece occurs in its body, without
// regard to case. Only documents whose content type begins with "text/"
// are searched; a file that cannot be read is skipped.
#pragma once

#include "foundation/ArgList.h"
#include "foundation/Str.h"

#include <cstdint>
#include <vector>

class AdminPage;

// The pieces of a phrase, cut at every ",".
std::vector<Str> phrase_pieces(const Str& phrase);

// Lists the matching documents of the cache, one anchor per line, or the
// "nothing found" line. directory ends with "/".
void search_matches(AdminPage& page, const Str& directory, const std::vector<uint32_t>& ids,
                    const Str& phrase);

// The answer for the query arguments (exactly "phrase" and its value):
// a complete head with its Content-Length, and the page. 0, or -1 with a
// report pending (the page could not be built).
int32_t make_search_results(const Str& directory, const std::vector<uint32_t>& ids,
                            const ArgList& arguments, uint32_t language, Str& head, Str& body);
