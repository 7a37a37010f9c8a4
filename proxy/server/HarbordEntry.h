// The program entry of harbord with its two roles: with "-urlget" right
// after the program's own name it is a request worker, otherwise the server.
// The server calls the same entry on every worker thread, with the argument
// list a started program would have.
#pragma once

#include "foundation/ArgList.h"

// Process exit code of a server that could not start or failed while running.
constexpr int EXIT_SERVER_FAILED = 20;

// arguments: the program file name first, then the arguments. Returns the
// exit code: 0 for a worker and for a normal end of the server, 20 when the
// server failed (its report is printed).
int harbord_entry(ArgList& arguments);
