// A list of host names, as the `sslhosts` option holds it: "example.org",
// "example.org news.example.net" (commas or blanks between the names). A
// name stands for itself and every host below it: "example.org" takes in
// "www.example.org" too. The empty list takes in every host.
#pragma once

#include "foundation/Str.h"

// 0 for a valid list; -1 (an option validator's answer) with a report
// naming the word at fault otherwise.
int host_list_invalid(const Str& text);
// Whether host is taken in by the list; never for an invalid list.
bool host_listed(const Str& text, const Str& host);
