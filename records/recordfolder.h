#pragma once

// RecordFolder is one window's work with its output folder, with no widget:
// the three files' paths, the folder's lock, its journal, the ledger of what
// the window left in each file, and the writers of the header, response and
// note records. The window (flow/, records/commands.cpp) builds each
// record's fields and asks it to write them; it answers with a reason for
// the one message when it could not.
//
// How a record is written: the folder must still be this window's (its lock
// the one it made); each file is opened without following a link, and must
// be exactly as this window left it; the journal notes every byte to come
// and the typing, and is synced; the bytes go to the files, which are synced
// (with the folder when a file is new); the journal's note is cut off. A
// failure takes back what was appended; a kill or a power cut leaves the
// note, and whoever takes the folder next (any window, any account, any
// computer: the lock and the journal are hidden files in the folder itself)
// rolls a half record back and gives its typing back.

#include "platform/ownerlock.h"
#include "records/recordformat.h"
#include "records/recordjournal.h"

#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <optional>

class RecordFolder
{
public:
    using Typing = RecordJournal::Typing;
    enum class Opened { Ready, Held, Failed };

    /// What taking the folder found of a window that is gone.
    struct Recovered
    {
        std::optional<Typing> typing; ///< the typing of a record cut off
        QList<QByteArray> recorded;   ///< names of typing whose records are whole
        QStringList leftUncut;        ///< files holding what another wrote, left as they are
        QString problem;              ///< a half record that could not be cut off
    };

    /// The lock's and the journal's names in the folder.
    static constexpr QLatin1String lockName{".calculus-study.lock"};
    static constexpr QLatin1String journalName{".calculus-study.journal"};

    /// The folder `folder`, as the student typed it (relative to the working
    /// folder now), for a SEND file of day `monthDay` (MMDD).
    RecordFolder(const QString &folder, const QString &monthDay);
    /// Gives the folder up, as release() does.
    ~RecordFolder();
    RecordFolder(const RecordFolder &) = delete;
    RecordFolder &operator=(const RecordFolder &) = delete;

    /// The folder and its files, absolute, with the system's separators.
    QString folder() const { return m_folder; }
    QString masterPath() const { return m_paths[0]; }
    QString sendPath() const { return m_paths[1]; }
    QString notesPath() const { return m_paths[2]; }

    /// Takes the folder: its lock, then what a window that is gone left
    /// unfinished. Held: another live window has it (holder() says which);
    /// Failed: error() says why.
    Opened open();
    OwnerLock::Owner holder() const { return m_holder; }
    QString error() const { return m_error; }
    const Recovered &recovered() const { return m_recovered; }
    /// The typing recovered() gave back is safe in the window's keeping:
    /// the journal, which held it until now, lets it go.
    void typingTaken();

    /// The header record to the master and SEND files; it also heads a file
    /// later found missing or empty. False with the reason.
    bool writeHeader(const recordformat::Header &header, QString &error);
    /// A response's lines before its rating go to the master and SEND files.
    bool beginResponse(const recordformat::Response &response, recordformat::Rating rating, const Typing &typing,
                       QString &error);
    /// True while a response waits for its rating.
    bool responseWaiting() const { return bool(m_waiting); }
    /// The rating as typed, and the response is whole; false (taken back) with the reason.
    bool finishResponse(const QString &typed, QString &error);
    /// Takes back the response waiting for its rating: the process must end.
    void abandonResponse();
    /// A note to all three files.
    bool writeNote(const recordformat::Note &note, const Typing &typing, QString &error);

    /// The student now knows something is wrong with `path` (it could not
    /// be shown): the next record takes it as it finds it.
    void forget(const QString &path);
    /// Marks the lock fresh; false when the folder is no longer this window's.
    bool refresh();
    /// True once the folder was found taken over: nothing more is written here.
    bool lost() const { return m_lost; }
    /// Why the folder was lost, for the student.
    QString lostMessage() const;
    /// Gives the folder up: a waiting response taken back, the journal and
    /// the lock removed (a journal that still notes a failed take-back stays).
    void release();
    /// Lets the folder go as a killed process does: lock and journal stay.
    void abandon();

private:
    class Append;
    friend class Append;
    struct Left
    {
        oscalls::Identity identity;
        qint64 length = 0;
    };
    /// The files of one record in the order written, with its bytes for each.
    struct Planned
    {
        std::vector<int> files; // 0 master, 1 SEND, 2 notes
        std::vector<QByteArray> bytes;
    };
    /// False once another window's lock stands where this window's was.
    bool stillHeld();
    bool write(const Planned &planned, const Typing &typing, recordformat::Rating closing, QString &error,
               bool waits);

    QString m_folder;
    QString m_paths[3];
    std::unique_ptr<OwnerLock> m_lock;
    std::unique_ptr<RecordJournal> m_journal;
    std::map<QString, Left> m_left; // what this window left in each file, by path
    std::optional<recordformat::Header> m_header;
    std::unique_ptr<Append> m_waiting;
    recordformat::Rating m_waitingRating = recordformat::Rating::None;
    OwnerLock::Owner m_holder;
    QString m_error;
    Recovered m_recovered;
    bool m_lost = false;
};
