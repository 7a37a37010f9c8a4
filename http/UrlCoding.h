// Form and query text coding.
#pragma once

#include "foundation/Str.h"

// "+" becomes a blank. "%" and the two characters after it become one byte:
// the characters are read as hexadecimal up to the first non-hex one, so
// "%4g" gives the byte 4 and "%g4" the byte 0. A "%" with fewer than two
// characters after it is dropped and those characters kept.
Str url_decode(const Str& text);

// A blank becomes "+"; "_", ",", ".", "-", digits and "A" to "~" are copied;
// every other byte becomes "%" and two lower-case hex digits.
Str url_encode(const Str& text);
