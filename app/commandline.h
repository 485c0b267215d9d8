#pragma once

/// Answers --help and --version on standard output. True when one of them was
/// given: the process should then end with status 0, before any window, folder
/// or display connection is made. Any other argument is left alone.
/// The study program, the review walk or the class report's window, each with its own words.
enum class Program { Study, Review, ClassReport };
bool answerCommandLine(int argc, char *argv[], Program program);
