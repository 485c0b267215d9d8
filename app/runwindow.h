#pragma once

class WalkSource;

/// The window's life, the same for both programs: the toolkit started (a
/// missing display told in one line on standard error, status 1), the run
/// started and the window shown; the walk of `walk` when given, the bank's
/// assignment otherwise. `program` names the program in that line.
int runWindow(int argc, char *argv[], const char *program, WalkSource *walk);
