// The admin token: a secret made once per installation and kept in a file
// beside the setup file (program name + ".token", mode 0600). The proxy's own
// pages put it into every form and link that changes something; a request
// that changes state without it only gets a page asking to confirm. Another
// web page cannot read the proxy's pages, so it cannot send the token.
#pragma once

#include "foundation/ArgList.h"
#include "foundation/Str.h"

#include <cstdint>

// The name of the argument that carries the token.
constexpr const char TOKEN_ARGUMENT[] = "token";
// Random bytes of a token; the text is twice as many lower-case hex digits.
constexpr uint32_t TOKEN_BYTES = 32;

// 64 lower-case hex digits.
bool is_token_text(const Str& text);

// The token kept in path. A missing, unreadable or malformed file gets a new
// token, written to a temporary file that is then renamed over path; when
// that fails the report is printed and the new token serves this run only.
// Empty (report pending) only when the system gave no random bytes.
Str load_admin_token(const Str& path);

// Removes every "token" name and its value from the alternating names and
// values; true when one of them equals token (an empty token matches none).
bool take_token(ArgList& arguments, const Str& token);
