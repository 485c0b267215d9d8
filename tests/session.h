#pragma once

// A student's whole session, scripted: start-up, two answers and a
// self-critique with their ratings, a note, both displays, and Next to the
// end of the assignment. The fault sweeps play it again and again, failing
// or killing it at each file operation in turn, and check what is left.

#include "scriptedplatform.h"

#include <QString>
#include <QStringList>

#include <memory>

/// A run of the session's course on fixed folders under `base` (out, locks,
/// recovery), so that a later run, in this process or after a killed one,
/// works on the same files.
struct SessionRun : TestRun
{
    explicit SessionRun(const QString &base);
    QString base;
};

namespace session {

/// What the student types, in the order typed; the note is the third.
extern const QStringList texts;
/// The step of the session being played (0 start-up, then one a command),
/// for the sweeps to place each file operation.
extern int step;

/// Plays the session from start-up to the end of the assignment. A command
/// that fails is tried once more, as a student would after its message; a
/// start-up that fails is started again once in a new run.
void play(std::unique_ptr<SessionRun> &run);

/// Empty when every output file under `base` holds whole header, response
/// and note records only, each of `recorded` is recorded exactly once in the
/// master and SEND files (the note also in the notes file), and `inFlight`
/// (when not empty) is recorded at most once and otherwise is `restored`
/// (or, when `mayBeLost`, neither); otherwise what is wrong.
QString checkFiles(const QString &base, const QStringList &recorded, const QString &inFlight = QString(),
                   const QString &restored = QString(), bool mayBeLost = false);

} // namespace session
