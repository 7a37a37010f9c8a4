// The admin pages' guard against requests that another web page made the
// browser send: which requests change state, the page that asks to confirm
// one that came without the admin token (AdminToken.h), and the log line of
// every refusal.
#pragma once

#include "foundation/ArgList.h"
#include "foundation/Str.h"

class AdminPage;
class RelaisOptions;

// The options, the mode switch, an export and an import (import2 with all=1)
// change state; arguments are those without the token.
bool changes_state(const Str& path, const ArgList& arguments);

// Explains that nothing was changed, lists the requested change and offers a
// form to the same path holding the same arguments and the token.
void confirmation_page(AdminPage& page, const Str& path, const ArgList& arguments);

// With `debug`, one line on the log: "AdminRequest: refused: " + why.
void log_refusal(const RelaisOptions& options, const Str& why);
