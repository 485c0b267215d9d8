#pragma once

#include "scriptedplatform.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

namespace reliability {

/// Two assignments, each with a question and its given answer, so that both
/// rating boxes can be reached in a few clicks.
inline const QString smallBank = QStringLiteral(
    "@@\n001.  `Query 1\n@@\n`qFirst question\n@@\n`a First answer.**\n"
    "@@\n`qSecond question\n@@\n`a Second answer.**\n@@\n002.  `Query 2\n@@\n`qLater question\n");

inline const QString masterName = QStringLiteral("masterFile.txt");
/// The output folder's journal, hidden beside its files.
inline const QString journalName = QStringLiteral(".calculus-study.journal");
inline const QString sendName = QStringLiteral("send_0306.txt"); // the scripted clock says 6 March
inline const QString notesName = QStringLiteral("notes_.txt");

/// A run whose output folder is `folder`, answered "1" and that path at start-up.
struct FolderRun : TestRun
{
    QString folder;

    FolderRun(const QString &outputFolder, const QString &bankText = smallBank,
              const QString &assignment = QStringLiteral("1"))
        : TestRun(bankText, assignment), folder(outputFolder)
    {
        platform.answers[2] = folder;
    }
    QString at(const QString &name) const { return folder + QLatin1Char('/') + name; }
    QByteArray bytes(const QString &name) const { return bytesOf(at(name)); }
};

} // namespace reliability
