// A list of ports and port ranges, as the `sslports` option holds it:
// "443", "443,8443" or "443 563 8000-8100" (commas or blanks between the
// words, each port 1 to 65535, a range low-high with low <= high).
#pragma once

#include "foundation/Str.h"

#include <cstdint>

// 0 for a valid list; -1 (an option validator's answer) with a report
// naming the word at fault otherwise.
int port_list_invalid(const Str& text);
// Whether port is in the list; never for an invalid list.
bool port_listed(const Str& text, int32_t port);
