#pragma once

#include <QApplication>

#include <memory>

class WalkSource;

/// The toolkit started for a window program named `program`, given no
/// argument but argv[0]; a missing display is told in one line on standard
/// error and ends the process with status 1.
std::unique_ptr<QApplication> startToolkit(char *argv[], const char *program);

/// The window's life, the same for both programs: the toolkit started (a
/// missing display told in one line on standard error, status 1), the run
/// started and the window shown; the walk of `walk` when given, the bank's
/// assignment otherwise. `program` names the program in that line.
int runWindow(int argc, char *argv[], const char *program, WalkSource *walk);
