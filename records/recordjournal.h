#pragma once

#include "records/recordformat.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

/// The typing a record holds, as the window kept it.
struct RecordTyping
{
    QByteArray session; ///< names the typing (begun anew after each record)
    QString typed;      ///< when it was begun, ISO 8601 with its offset
    QString assignment;
    QString under; ///< the first line of the question or answer it was typed under
    QString text;
};

/// The output folder's rollback journal, a hidden file beside the files it
/// protects, as a database keeps its journal: before a record's first byte
/// it notes, per file, where the record starts and every byte it will
/// append, with the typing the record holds, and syncs that one file. The
/// files are then appended to and synced; the note's clear is never synced,
/// because a start that finds the note can tell from the files themselves
/// whether the record is whole (every file holds exactly the noted bytes
/// where the note says, and a response its rating and closing line after
/// them) or half (a beginning of them): a half record is cut off, its
/// typing given back; a file that holds anything else is another writer's
/// and is never cut, only named.
///
/// Between records the journal holds only names of typing whose records are
/// whole, so that a recovery file left with such typing is known to hold
/// nothing unrecorded. A note puts its own typing's name last at its head:
/// clearing a whole record is cutting the note off after it, one step.
class RecordJournal
{
public:
    using Typing = RecordTyping;
    struct Entry
    {
        QString name;    ///< the file's name in the folder
        qint64 start = 0;
        QByteArray bytes; ///< what the record appends to it
    };
    struct Note
    {
        Typing typing; ///< no session when the record holds none (a header)
        std::vector<Entry> entries;
        /// A response's rating and closing line follow the noted bytes.
        bool closingFollows = false;
        recordformat::Rating rating = recordformat::Rating::None;
    };
    /// What a start found of a record a window left unfinished.
    struct RolledBack
    {
        bool found = false;         ///< a note was there
        bool whole = false;         ///< its record is in the files, whole
        std::optional<Typing> typing; ///< the typing of a record that was cut off (now or before)
        QList<QByteArray> recorded; ///< names of typing whose records are whole
        QStringList leftUncut;      ///< files holding what no window of this folder wrote there
        QString problem;            ///< a cut that failed, with the reason
    };

    /// The journal in the file `path`, beside the files it notes.
    explicit RecordJournal(const QString &path) : m_path(path) {}
    QString path() const { return m_path; }

    /// Makes the journal hold only `recorded` (names of typing whose records
    /// are whole) and `left` (typing of a record cut off, not yet in the
    /// window's keeping), and puts its name on the disk with its folder;
    /// false with the reason.
    bool create(const QList<QByteArray> &recorded, const std::optional<Typing> &left, QString &reason);
    /// Notes a record before its first byte, and syncs the note.
    bool note(const Note &note, QString &reason);
    /// The noted record is whole on the disk: the note goes, its typing's
    /// name stays. Not synced.
    bool clearWhole(QString &reason);
    /// The noted record was taken back, its cuts synced: the note and its
    /// typing's name go. Not synced.
    bool clearTakenBack(QString &reason);
    /// The typing of a record cut off at the start, which the journal keeps
    /// until the window has it safe elsewhere, is no longer the journal's.
    bool dropLeftTyping(QString &reason);
    /// True while a note waits to be cleared (a take-back that failed).
    bool pending() const { return m_pending; }

    /// Finds what a window that is gone (or a take-back that failed) left
    /// noted, cuts off a record that is not whole, and clears the note.
    RolledBack rollBack();

private:
    struct Contents
    {
        std::optional<Typing> left; ///< typing given back at a start, not yet kept elsewhere
        QList<QByteArray> names;    ///< at the head, the last one the note's own when a note follows
        std::optional<Note> note;
    };
    Contents read() const;
    bool cutTo(qint64 length, QString &reason);

    QString m_path;
    bool m_pending = false;
    QByteArray m_left;      // the typing given back at the start, at the head until kept elsewhere
    QByteArray m_kept;      // the name of the last whole record's typing
    QByteArray m_ownName;   // the pending note's own name line
};
