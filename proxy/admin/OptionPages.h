// The menu page, the options form and the change of options through it,
// the refusal of a client that is not an admin, and the invalid-path page.
#pragma once

#include "foundation/ArgList.h"
#include "foundation/Str.h"

#include <cstdint>

class AdminPage;
class RelaisOptions;

void menu_page(AdminPage& page);

// The form with every option row, showing the current values.
void options_form(AdminPage& page, const RelaisOptions& options);

// Applies the form's name/value pairs (names without "-") to the server's
// options and saves the setup file, so a change survives a crash. The page
// gets the result text: the collected failure, or the confirmation. 0, or
// -1 when a name is not one of the form's, a value was rejected or the
// remote proxy would be this proxy; then nothing of the request is applied.
int32_t apply_options(AdminPage& page, RelaisOptions& options, const ArgList& arguments);

void refusal(AdminPage& page);

void invalid_path_page(AdminPage& page, const Str& path);
