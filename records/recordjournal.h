#pragma once

#include "platform/oscalls.h"

#include <QString>
#include <QStringList>

#include <vector>

/// The lengths the output files had before a command began to append to
/// them, kept on the disk (synced) for as long as the command runs, the way
/// a database keeps its rollback journal: a crash, a kill or a power cut in
/// the middle of a record leaves a note, and the next start cuts every noted
/// file back to its length, so a file holds whole records only. The note is
/// made before the first byte is appended and cleared once the record is
/// whole on the disk or taken back.
class RecordJournal
{
public:
    struct Entry
    {
        QString path;
        oscalls::Identity identity;
        qint64 length = 0;
    };

    /// The journal kept in the file `path` (beside the output folder's lock).
    explicit RecordJournal(const QString &path) : m_path(path) {}
    QString path() const { return m_path; }

    /// Notes the files' lengths and syncs the note; false with the reason.
    /// `recorded` names the kept typing the record will hold (empty for none).
    bool note(const std::vector<Entry> &entries, QString &reason, const QByteArray &recorded = QByteArray());
    /// The noted record is whole on the disk, or taken back: the note goes.
    /// With `whole`, the name the note gave the kept typing stays, so that a
    /// start after a kill that came before the typing was let go does not
    /// give back as unrecorded what the files already hold.
    bool clear(QString &reason, bool whole = false);
    /// The name a whole record's clear left; empty when there is none.
    QByteArray recorded() const;
    /// The entries a note holds; none when there is no whole note (a note cut
    /// short was never followed by an append).
    std::vector<Entry> entries() const;
    /// True when a note waits to be cleared or rolled back.
    bool pending() const;
    /// Cuts every noted file that is still the file noted (the same file
    /// number), and longer, back to its length, synced, then clears the note;
    /// false (the note kept) when a cut failed. A file replaced is never cut.
    bool rollBack(QString &reason);
    /// Files a roll-back left as they are because another file now stands at
    /// the noted path, longer than noted: part of a record may be in them.
    QStringList takeLeftUncut();

private:
    /// The name at the head of the file, with or without a note after it.
    QByteArray leadingName() const;

    QString m_path;
    mutable int m_pending = -1; // -1 until the file was read or written
    qint64 m_nameLength = 0;    // of the name at the head of the last note
    QStringList m_leftUncut;
};
