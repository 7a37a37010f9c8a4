// Where the running program lives: its setup file and help directories sit
// beside it. Read from /proc/self/exe, so neither the working directory nor
// the way the program was started matters.
#pragma once

#include "foundation/Str.h"

// Absolute path of the executable; empty with a report pending on failure.
Str program_file();
// Its directory, without a trailing "/" (just "/" for the root).
Str program_dir();
// Directory + "/" + file name without extension ("/opt/q/bin/harbord");
// the setup file is this + ".cfg". Empty with a report on failure.
Str program_name();
