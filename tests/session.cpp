#include "session.h"

#include "tests/formaccess.h"

#include "records/recordreader.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString course = QStringLiteral("@@\n001.  `Query 1\n@@\n`qFirst question\n@@\n`a First answer.**\n"
                                      "@@\n`qSecond question\n@@\n`a Second answer.**\n@@\n002.  `Query 2\n"
                                      "@@\n`qLater question\n");

/// Types `text` and runs `command`; once more when the text is still in the
/// box (the command failed and said so).
void record(SessionRun &run, const QString &text, void (FormAccess::*command)())
{
    run.typeAnswer(text);
    FormAccess form = inside(*run.form);
    (form.*command)();
    if (!run.form->runEnded() && run.boxAnswer() == text)
        (form.*command)();
}

} // namespace

SessionRun::SessionRun(const QString &folder) : TestRun(course), base(folder)
{
    QDir().mkpath(base + QStringLiteral("/out"));
    platform.answers[2] = base + QStringLiteral("/out");
    form->enableAnswerRecovery(base + QStringLiteral("/recovery"));
    // The ratings whenever asked (a retried response asks again); the
    // start-up questions from the list.
    platform.onInput = [this](const QString &prompt) {
        if (prompt.startsWith(QLatin1String("Assess")))
            return QStringLiteral("2");
        if (prompt.startsWith(QLatin1String("Rate")))
            return QStringLiteral("3");
        return platform.answers.isEmpty() ? QString() : platform.answers.takeFirst();
    };
}

namespace session {

const QStringList texts = {QStringLiteral("x = 3, because 2x = 6"), QStringLiteral("I forgot the sign of the slope"),
                           QStringLiteral("check the units next time"), QStringLiteral("y' = 2x at x = 1")};
int step = 0;

void play(std::unique_ptr<SessionRun> &run)
{
    step = 0;
    if (!run->start()) {
        run = std::make_unique<SessionRun>(run->base);
        if (!run->start())
            return;
    }
    FormAccess form = inside(*run->form);
    step = 1;
    form.cmdNextQuestionClick();
    record(*run, texts[0], &FormAccess::cmdEnterResponseClick);
    step = 2;
    form.cmdNextQuestionClick();
    record(*run, texts[1], &FormAccess::cmdEnterResponseClick);
    step = 3;
    record(*run, texts[2], &FormAccess::cmdSaveAsNotesClick);
    step = 4;
    form.cmdDisplayNoteFileClick();
    step = 5;
    form.cmdDisplaySendFileClick();
    step = 6;
    form.cmdNextQuestionClick();
    record(*run, texts[3], &FormAccess::cmdEnterResponseClick);
    step = 7;
    while (!run->form->runEnded())
        form.cmdNextQuestionClick();
}

QString checkFiles(const QString &base, const QStringList &recorded, const QString &inFlight, const QString &restored,
                   bool mayBeLost)
{
    const QString out = base + QStringLiteral("/out");
    QStringList problems;
    std::map<QString, QStringList> textsIn;
    for (const QFileInfo &info : QDir(out).entryInfoList(QDir::Files)) {
        const RecordFileContents contents = readRecordFile(info.absoluteFilePath());
        for (const ReadWarning &w : contents.warnings)
            if (!(w.message == QLatin1String("empty file") || w.message == QLatin1String("no records found")))
                problems << QStringLiteral("%1:%2: %3").arg(info.fileName()).arg(w.line).arg(w.message);
        for (const FileRecord &r : contents.records) {
            if (!r.complete)
                problems << QStringLiteral("%1:%2: a record cut short").arg(info.fileName()).arg(r.line);
            if (r.kind != FileRecord::Header)
                textsIn[info.fileName()] << r.text;
        }
    }
    const QString master = QStringLiteral("masterFile.txt"), notes = QStringLiteral("notes_.txt");
    QString send;
    for (const auto &[name, found] : textsIn)
        if (name.startsWith(QLatin1String("send_")))
            send = name;
    for (const QString &text : recorded) {
        const bool isNote = text == texts[2];
        for (const QString &file : isNote ? QStringList{master, send, notes} : QStringList{master, send})
            if (textsIn[file].count(text) != 1)
                problems << QStringLiteral("\"%1\" recorded %2 times in %3").arg(text).arg(textsIn[file].count(text)).arg(file);
    }
    if (!inFlight.isEmpty()) {
        const int times = int(textsIn[master].count(inFlight));
        // Given back as unrecorded while the files hold it, a retry would record it twice.
        if (times > 1 || (times == 0 && restored != inFlight && !mayBeLost) || (times == 1 && restored == inFlight))
            problems << QStringLiteral("\"%1\" recorded %2 times, and the box holds \"%3\"").arg(inFlight).arg(times).arg(restored);
    }
    return problems.join(QLatin1Char('\n'));
}

} // namespace session
