// The help page: a help file of the current language, read from the
// language's help folder beside the program and sent as it is.
#pragma once

#include "foundation/ArgList.h"
#include "foundation/Str.h"

#include <cstdint>

class AdminPage;

// Shown when the help page is asked for without a file name.
constexpr const char HELP_INDEX[] = "help.htm";
// Longest help file sent.
constexpr uint32_t HELP_FILE_LIMIT = 1u << 20;

// A name that stays inside the help folder: not empty, no "/", no "..",
// no NUL byte.
bool plain_file_name(const Str& name);

// program_dir + "/" + the language's help folder + "/" + name.
Str help_file_path(const Str& program_dir, uint32_t language, const Str& name);

// The whole file becomes the page (no footer); a file that cannot be read,
// or a name that is not plain, gives the page's error line.
void help_page(AdminPage& page, const Str& program_dir, const ArgList& arguments);
