// Failure reports: no exceptions for run-time failures. A failing operation
// returns a failure value and leaves a report; callers chain their own report
// in front; the top level prints the chain or takes it into a page.
//
// One report context per thread. A report is at most 1,020 characters;
// lines end in CR LF. Reports never collected are printed as an "untreated
// malfunction" when the next report starts and when the process ends.
#pragma once

#include "foundation/Str.h"

// context names the reporter and ends in one blank ("Cache::load ").
void fail_new(const char* context, const char* message);
void fail_chain(const char* context, const char* message);
// Returns the current text and marks it collected; the text stays readable
// until the next report on this thread.
const char* fail_take();
// Writes "MALFUNCTION:\n", the text (taking it) and "\n" to standard error.
void fail_print();
// True while this thread holds an uncollected report.
bool fail_pending();

inline void fail_new(const char* context, const Str& message) { fail_new(context, message.c_str()); }
inline void fail_chain(const char* context, const Str& message) { fail_chain(context, message.c_str()); }

// Longest report text kept.
constexpr int FAIL_TEXT_MAX = 1020;
