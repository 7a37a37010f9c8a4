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

// Whether the program runs where the build made it: the build leaves the
// file BUILD_TREE_MARKER beside the programs; an installed program has none
// and keeps its files where the user's directories are (see xdg_home).
constexpr char BUILD_TREE_MARKER[] = ".quaylo-build-tree";
bool in_build_tree();
// $variable when it is set to an absolute path, else $HOME/fallback; empty
// with a report pending when neither is usable.
Str xdg_home(const char* variable, const char* fallback);
