#pragma once

// The course text as the build left it: read, checked and turned into the
// bank's finished entries by compile-course (bank/tools/compilecourse.cpp)
// from bank/content/*.txt. Qt Core only, so that programs without a window
// (the instructor's report) can use the same entries.

#include <QStringList>

/// The finished entries of the compiled-in course in bank order, from entry 1
/// on; the strings refer to constant data, so taking them copies no text.
QStringList compiledCourseEntries();
