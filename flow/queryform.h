#pragma once

// QueryForm is the window of a run and owns its state; what it does with
// its output folder (the files, their lock and journal) is RecordFolder's
// (records/recordfolder.h), which it calls.
//
// A run starts in startRun(): the start-up dialogue (flow/startup.cpp) asks
// for the name, the output folder and the assignment, loads the question bank
// (bank/questionbank.cpp) and finds the assignment's heading; the header
// record then goes to the master and SEND files (records/outputfiles.cpp).
// startWalk() starts instead a walk of what a WalkSource gives (the review
// of a student's weak questions, review/): the same name and folder boxes,
// then the walk's entries in place of the bank's (flow/walksource.h).
// After that the window only reacts to clicks: "Next Question / Answer" walks
// the bank (flow/stepping.cpp) and may draw a figure (figures/); the record
// commands append to the output files and show them (records/commands.cpp).
// The controls come from ui/queryform.ui and are wired in ui/window.cpp; every
// command of a control runs through runCommand(), which does nothing once
// the run has ended. How the work is kept at every end of a run (the typing
// against a crash, a waiting record taken back, the locks given up) is
// ui/runend.cpp.
//
// Layers, lowest first; a folder includes only from itself and the folders
// listed before it:
//   platform/  the seam to the operating system: dialogs, clock, random
//              numbers, clipboard, beep, end of the process (Platform), the
//              file calls Qt does not make (oscalls), the sync to disk, the
//              busy cursor. It includes nothing of the program's own.
//   flow/      this header, start-up and stepping; includes platform/ only.
//   bank/, records/, figures/
//              the QueryForm methods of each subsystem (they include this
//              header) and their helper classes (RecordFolder, the record
//              reader, PictureArea), which never include it. The record
//              layout (records/recordformat.h) and the entry grammar
//              (bank/entrygrammar.h) are stated once each; flow reaches the
//              grammar through the bank methods declared below.
//   ui/        the wiring of the controls and the helpers of the window
//              (AnswerRecovery, TextZoom).
//   review/    the walk of a student's weak questions (ReviewWalk).
//   app/, report/
//              the programs' main() and the instructor's report, which
//              reuses records/ and the compiled course of bank/.
// A test (tst_layers) fails on any circle between folders.
//
// Everything outside the process but files passes through Platform, so
// tests can answer the boxes and read the clock. Text inside the program uses
// CR LF line breaks; boxText/setBoxText convert at the text boxes, and the
// record writers (records/recordformat.cpp) to Windows-1252 bytes on disk.

#include <QString>
#include <QWidget>

#include <array>
#include <memory>
#include <vector>

struct RecordTyping;

class Platform;
class PictureArea;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTimer;
class AnswerRecovery;
class BusyCursor;
class RecordFolder;
class WalkSource;

namespace Ui {
class QueryForm;
}

class QueryForm : public QWidget
{
    Q_OBJECT

public:
    static constexpr int bankSize = 5001; // indices 0 to 5000, 0 never used

    /// The window of one run; `platformLayer` must outlive it.
    explicit QueryForm(Platform &platformLayer, QWidget *parent = nullptr);
    ~QueryForm() override;

    /// The load handler: start-up dialogue, bank, heading search and header
    /// record. Returns false when the run ended during start-up.
    bool startRun();
    /// Starts a walk of `source` instead of the bank: the same name and
    /// folder questions, then the walk's offer; false when the run ended.
    /// `source` must outlive the window.
    bool startWalk(WalkSource &source);

    /// Content files the bank is loaded from; the compiled-in course by default.
    void setBankFiles(const QStringList &files) { bankFiles = files; }
    /// Folder used when the student keeps the default.
    void setDefaultFolder(const QString &folder) { defaultFolder = folder; }
    /// Keeps unrecorded typing in `path` so that a crash does not lose it.
    void enableAnswerRecovery(const QString &path);
    /// Puts back an answer an earlier run left unrecorded, with a message saying so.
    void restoreUnrecordedAnswer();
    /// Keeps the answer box's typing now and takes back a record waiting for
    /// its rating: the process is about to end without the student's word.
    void keepWorkBeforeSuddenEnd();
    /// Keeps the work of this window whenever the process ends without the
    /// run ending it: SIGTERM, SIGHUP, and exit() when the display is lost.
    void keepWorkAtEveryEnd();
    /// True once the run has ended; no command does anything after that.
    bool runEnded() const { return ended; }

    // Start-up (flow/startup.cpp).
    void runStartDialogue();
    /// The name and folder questions, the folder taken; false when the run ended.
    bool askNameAndFolder();
    void setInstructionText();
    void openAssignment();
    /// Zero-pads a typed assignment number of one or two characters.
    static QString padAssignmentNumber(const QString &typed);
    /// The padded number that follows `padded` ("007" gives "008", "abc" gives "001").
    static QString nextNumberAfter(const QString &padded);
    /// The value of the number a text begins with, spaces skipped; 0 when there is none.
    static double leadingValue(const QString &text);
    /// A number as plain decimal text, without a decimal point when whole.
    static QString plainNumber(double value);
    /// The default output folder of this system and the separator used in paths.
    static QString systemDefaultFolder();
    static QString pathSeparator();

    // Question bank and its entry grammar (bank/questionbank.cpp).
    /// Fills QuestionBank from the content files; false (and a message) when it cannot.
    bool loadQuestionBank();
    /// The bank entry at `index`, or empty outside 0 to 5000.
    QString bankEntry(int index) const;
    /// Strips a question or answer marker off `entry`: "question", "answer",
    /// or empty when it has neither.
    static QString takeEntryMarker(QString &entry);
    /// True for any assignment's heading entry.
    static bool isHeadingEntry(const QString &entry);
    /// True when `entry` is the heading of assignment `number`.
    static bool isHeadingOf(const QString &entry, const QString &number);
    /// True when `entry` begins assignment `number`, where the walk before it ends.
    static bool beginsAssignment(const QString &entry, const QString &number);
    static bool isRoutineEntry(const QString &entry);
    /// The routine's name, cleaned by remSpaces and in lower case.
    static QString routineName(const QString &entry);

    // Stepping (flow/stepping.cpp).
    void readNextQuestion();
    /// Next of a walk: its next entry, or the end of the run.
    void readNextWalkEntry();
    /// True when `answer` is the student's own typing (not empty, blanks or the instructions).
    bool holdsUnrecordedTyping(const QString &answer) const;
    /// Each "{}", taken from the left, becomes CR LF.
    static QString expandLineBreaks(const QString &text);

    // Encoding (records/encoding.cpp).
    static QString code(const QString &text, float key);
    QString makeCodeLine(float count);
    static QString decode(const QString &text, float key);
    void codeFile();

    // Records (records/outputfiles.cpp, records/commands.cpp).
    bool writeHeaderRecord(const QString &heading);
    QString timeLine();
    QString dateTimeLine();
    QString questionKeyLine() const;
    void assessSelfCritique();

    // Figures (figures/figures.cpp).
    void printAt(float x, float y, const QString &text);
    static QString remSpaces(const QString &text);
    void runRoutine(const QString &routine);
    void graph1();
    void graph2();
    void graph3();
    void venn1();
    void venn2();
    void venn3();

    /// Ends the run at once: files closed, window closed, process gone with
    /// `status` (0 for a normal end, 1 when start-up failed or a fault ended it).
    void endRun(int status = 0);

    /// The text of a text box with CR LF breaks, and the reverse.
    static QString boxText(const QPlainTextEdit *box);
    static void setBoxText(QPlainTextEdit *box, const QString &text);

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool focusNextPrevChild(bool next) override;

private:
    // The tests and the benchmark read and set the state below, and run the
    // commands, through this one class (tests/formaccess.h).
    friend class FormAccess;

    /// What a control runs (ui/window.cpp wires them).
    using Command = void (QueryForm::*)();
    /// The one way a command runs: nothing happens once the run has ended.
    void runCommand(Command command);

    // The commands of the controls.
    void cmdNextQuestionClick();      // flow/stepping.cpp
    void cmdEnterResponseClick();     // records/commands.cpp
    void cmdClearAnswerClick();
    void cmdSaveAsNotesClick();
    void cmdDisplayNoteFileClick();
    void cmdDisplaySendFileClick();
    void cmdQuitClick();
    void cmdNextPictureClick();       // figures/figures.cpp
    void cmdCopyPictureClick();
    void cmdPendExpClick();
    void tmrPendExpTick();

    /// The window's controls draw with Fusion, whatever the system's style.
    void useFormStyle();
    void wireControls();
    /// The answer box no longer holds unrecorded text worth recovering.
    void answerRecorded();
    /// The header record of a walk's assignment before its first record there;
    /// false (told, with `notSaved`) when it could not be written.
    bool headWalkRecord(const QString &notSaved);
    /// The header record of the assignment `heading` begins; false with the reason.
    bool writeHeader(const QString &heading, QString &error);
    /// Tells the student `notSaved` and why (`error`); the typing stays, kept.
    void recordNotSaved(const QString &notSaved, const QString &error);
    /// Empties both text boxes after the answer box's text was dealt with.
    void clearAfterRecord();
    /// Reads an output file to show it; false (told, and the ledger forgets
    /// the file) when it cannot.
    bool readForDisplay(const QString &path, const QString &cannotShow, QString &text, BusyCursor &busy);
    /// Both picture areas in their user scale of 1000 by 1000.
    void scalePictureAreas();
    struct RateGraph;
    void drawRateGraph(const RateGraph &graph);
    void drawVennDiagram();
    int randomComponent();
    /// Builds the paths of the three output files in outputFolder.
    void setOutputFilePaths();
    /// False (after the student gave up) when no output folder is free for
    /// this window; otherwise `records` holds the folder.
    bool lockOutputFolder();
    /// Tells the student what taking the folder found that was left unfinished.
    void tellRecovered();
    /// The answer box's typing goes to the recovery file at once.
    void keepTypingNow();
    /// `text` as the typing a record holds, for its journal.
    RecordTyping typingNow(const QString &text);
    void reportRecoveryProblem();
    /// Marks the folder's and the recovery file's locks fresh (every 30 s).
    void refreshLocks();
    /// Gives up the folder: recovery lock, journal and folder lock.
    void releaseFolder();

    Platform &platform;

    // The state of a run.
    QString courseTitle;
    QString outputFolder;
    QString masterFilePath;
    QString sendFilePath;
    QString notesFilePath;
    QString assignmentNumber;
    QString nextAssignmentNumber;
    QString instructionText;
    float codeKey = 0;
    std::vector<QString> QuestionBank = std::vector<QString>(bankSize);
    int bankIndex = 0;
    QString pendingLine;
    QString lastLine;
    QString lastLineKind;
    bool resetAnswerBox = false;
    QString questionText;
    QString questionNumber;
    QString selfCritiqueRating;
    QString queryFileTag;

    Ui::QueryForm *ui;
    std::vector<QWidget *> tabChain;
    QStringList bankFiles;
    QString defaultFolder;
    QString sendMonthDay;
    std::unique_ptr<RecordFolder> records; // the output folder: its files, lock and journal
    QTimer *lockRefresh; // keeps the locks fresh while the window lives
    QString outputFolderKey;  // the output folder's identity, as recovery files name it
    QString outputFolderName; // its canonical path, the same
    bool runStarted = false; // the start-up questions are answered
    bool ended = false;
    AnswerRecovery *recovery = nullptr;
    WalkSource *walk = nullptr; // a walk instead of the bank (review/)
    bool walkHeaderDue = false; // the walk's current assignment has no header record yet
    QString walkHeading;

    // The controls, under the names the rest of the program uses.
    QPlainTextEdit *txt_question;
    QPlainTextEdit *txt_answer;
    PictureArea *Picture1;
    PictureArea *Picture2;
    QTimer *tmr_pend_exp;
    std::array<QLineEdit *, 4> txt_parameter;
    std::array<QLabel *, 4> lbl_parameter;
};
