#pragma once

// QueryForm is the whole program: one window that owns the state of a run.
//
// A run starts in startRun(): the start-up dialogue (flow/startup.cpp) asks
// for the name, the output folder and the assignment, loads the question bank
// (bank/questionbank.cpp) and finds the assignment's heading; the header
// record then goes to the master and SEND files (records/outputfiles.cpp).
// After that the window only reacts to clicks: "Next Question / Answer" walks
// the bank (flow/stepping.cpp) and may draw a figure (figures/); the record
// commands append to the output files and show them (records/commands.cpp).
// The controls come from ui/queryform.ui and are wired in ui/window.cpp.
//
// Everything outside the process but files passes through Platform
// (ui/platform.h), so tests can answer the boxes and read the clock. Text
// inside the program uses CR LF line breaks; boxText/setBoxText convert at
// the text boxes, and RecordFiles converts to Windows-1252 bytes on disk.

#include <QString>
#include <QWidget>

#include <array>
#include <memory>
#include <vector>

class Platform;
class PictureArea;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTimer;
class AnswerRecovery;
class RecordFiles;
class QLockFile;

namespace Ui {
class QueryForm;
}

class QueryForm : public QWidget
{
    Q_OBJECT

public:
    static constexpr int bankSize = 5001; // indices 0 to 5000, 0 never used

    /// The window of one run; `platform` must outlive it.
    explicit QueryForm(Platform &platform, QWidget *parent = nullptr);
    ~QueryForm() override;

    /// The load handler: start-up dialogue, bank, heading search and header
    /// record. Returns false when the run ended during start-up.
    bool startRun();

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
    /// Where the locks of output folders are kept; ~/.local/share/calculus-study/locks by default.
    void setLockFolder(const QString &folder) { lockFolder = folder; }
    /// True once the run has ended; no handler does anything after that.
    bool runEnded() const { return ended; }

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

    // Start-up (flow/startup.cpp).
    void runStartDialogue();
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

    // Question bank (bank/questionbank.cpp).
    /// Fills QuestionBank from the content files; false (and a message) when it cannot.
    bool loadQuestionBank();
    /// The bank entry at `index`, or empty outside 0 to 5000.
    QString bankEntry(int index) const;

    // Stepping (flow/stepping.cpp).
    void readNextQuestion();
    void cmdNextQuestionClick();
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
    void cmdEnterResponseClick();
    void assessSelfCritique();
    void cmdClearAnswerClick();
    void cmdSaveAsNotesClick();
    void cmdDisplayNoteFileClick();
    void cmdDisplaySendFileClick();
    void cmdQuitClick();

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
    void cmdNextPictureClick();
    void cmdCopyPictureClick();
    void cmdPendExpClick();
    void tmrPendExpTick();

    /// Ends the run at once: files closed, window closed, process gone with
    /// `status` (0 for a normal end, 1 when start-up failed or a fault ended it).
    void endRun(int status = 0);

    /// The text of a text box with CR LF breaks, and the reverse.
    static QString boxText(const QPlainTextEdit *box);
    static void setBoxText(QPlainTextEdit *box, const QString &text);

    Platform &platform;

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void wireControls();
    /// The answer box no longer holds unrecorded text worth recovering.
    void answerRecorded();
    void drawVennDiagram();
    int randomComponent();
    static bool isRoutineEntry(const QString &entry);
    static QString routineName(const QString &entry);
    /// The header record into the file at `index` of `files`.
    void writeHeaderLines(RecordFiles &files, int index);
    /// Heads the master and SEND files of `files` that are missing or empty.
    void headNewFiles(RecordFiles &files);
    /// False (after the student gave up) when no output folder is free for this window.
    bool lockOutputFolder();
    /// The answer box's typing goes to the recovery file at once.
    void keepTypingNow();

    Ui::QueryForm *ui;
    std::vector<QWidget *> tabChain;
    QStringList bankFiles;
    QString defaultFolder;
    QString sendMonthDay;
    QString headingEntry; // the header record's heading and code line, for a file that lost it
    QString headerCodeLine;
    QString lockFolder;
    std::shared_ptr<QLockFile> folderLock;
    bool ended = false;
    RecordFiles *openRecordFiles = nullptr; // while a response record waits for its rating
    AnswerRecovery *recovery = nullptr;
    void reportRecoveryProblem();

public:
    // The controls, under the names the rest of the program uses.
    QPlainTextEdit *txt_question;
    QPlainTextEdit *txt_answer;
    PictureArea *Picture1;
    PictureArea *Picture2;
    QTimer *tmr_pend_exp;
    std::array<QLineEdit *, 4> txt_parameter;
    std::array<QLabel *, 4> lbl_parameter;
};
