// Where harbord keeps its files. Run from the build tree, everything stays
// as it always was: setup file, admin token and help beside the program, the
// cache, export and import directories relative to the working directory.
// Installed, the program's directory is read-only: the setup file and the
// token live in $XDG_CONFIG_HOME/quaylo, the three directories in
// $XDG_CACHE_HOME/quaylo (unless the setup file or the command line say
// otherwise), the help in <prefix>/share/quaylo beside <prefix>/bin.
#pragma once

#include "foundation/Str.h"

struct HarbordPlaces {
    bool installed = false;
    Str setup_file;
    Str token_file;
    Str help_root;  // holds help_e, help_d, help_nl
    Str data_root;  // installed: holds cache, export, import
};

// Empty setup_file with a report pending when an installed program finds no
// home directory.
HarbordPlaces harbord_places(const Str& program_name);
// Installed: makes the configuration and data directories that are missing,
// saying on standard error which it made. False with a report naming the
// path and the reason when one cannot be made.
bool make_places(const HarbordPlaces& places);
