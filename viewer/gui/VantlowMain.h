// The program's entry points into its windows, free of Qt's headers so that
// the program's main needs none of them.
#pragma once

#include <functional>

class VantlowSession;
struct StartOptions;

// Called once the main window is up, before the event loop runs: further
// parts of the program build themselves onto it.
using SessionStarted = std::function<void(VantlowSession&, const StartOptions&)>;

// Starts the windowed program and runs it until "Exit". Understands
// "--proxy HOST:PORT" (default 127.0.0.1:8080) and graph files to open.
int RunVantlowGui(int argc, char** argv, const SessionStarted& started = {});

// vantlow --render FILE.gra OUT.png [--width W --height H]: argv[0] is the
// program, argv[1] "--render". Returns the exit code; errors go to stderr.
int RunVantlowRender(int argc, char** argv);
