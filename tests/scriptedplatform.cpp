#include "scriptedplatform.h"
#include "tests/formaccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTest>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

ScriptedPlatform::ScriptedPlatform()
{
    setSyncObserver([this](const QString &path) {
        syncs.append(QFileInfo(path).fileName());
        syncedSizes.append(QFileInfo(path).size());
    });
}

ScriptedPlatform::~ScriptedPlatform()
{
    setSyncObserver(nullptr);
}

QString ScriptedPlatform::inputBox(const QString &prompt)
{
    prompts.append(prompt);
    if (onInput)
        return onInput(prompt);
    if (answers.isEmpty()) {
        qWarning("unexpected input box: %s", qPrintable(prompt.left(60)));
        return QString();
    }
    return answers.takeFirst();
}

float ScriptedPlatform::random()
{
    if (randomsDrawn < randoms.size())
        return randoms.at(randomsDrawn++);
    ++randomsDrawn;
    m_lcg = m_lcg * 1664525u + 1013904223u;
    return float(m_lcg >> 8) / 16777216.0f;
}

QString ScriptedPlatform::chooseFolder(const QString &title, const QString &start)
{
    choosers.append(QStringLiteral("folder: %1 (%2)").arg(title, start));
    if (chosenFolders.isEmpty()) {
        qWarning("unexpected folder chooser: %s", qPrintable(title));
        return QString();
    }
    return chosenFolders.takeFirst();
}

QString ScriptedPlatform::chooseFile(const QString &title, const QString &start, const QString &filter)
{
    choosers.append(QStringLiteral("file: %1 (%2; %3)").arg(title, start, filter));
    if (chosenFiles.isEmpty()) {
        qWarning("unexpected file chooser: %s", qPrintable(title));
        return QString();
    }
    return chosenFiles.takeFirst();
}

bool ScriptedPlatform::startProcess(QProcess &process, const QString &program, const QStringList &arguments,
                                    QString &reason)
{
    started.append((QStringList{program} + arguments).join(QLatin1Char('\n')));
    if (!failStart.isEmpty()) {
        reason = failStart;
        return false;
    }
    process.start(program, arguments, QIODevice::ReadOnly);
    if (process.waitForStarted(30000))
        return true;
    reason = process.errorString();
    return false;
}

bool ScriptedPlatform::openInBrowser(const QString &path)
{
    opened.append(path);
    return !browserFails;
}

void ScriptedPlatform::setClipboardImage(const QImage &image)
{
    if (hasClipboard)
        clipboard = image;
}

TestRun::TestRun(const QString &bankText, const QString &assignment)
{
    QDir(dir.path()).mkdir(QStringLiteral("out"));
    form = std::make_unique<QueryForm>(platform);
    form->setDefaultFolder(dir.filePath(QStringLiteral("default")));
    if (!bankText.isNull()) {
        QFile bank(dir.filePath(QStringLiteral("bank.txt")));
        if (bank.open(QIODevice::WriteOnly))
            bank.write(bankText.toUtf8());
        form->setBankFiles({bank.fileName()});
    }
    platform.answers = {QStringLiteral("Student Name"), QStringLiteral("1"), outputFolder(), assignment};
}

bool TestRun::start()
{
    return form->startRun();
}

QByteArray TestRun::file(const QString &name) const
{
    return bytesOf(outputPath(name));
}

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString openFailureReason(const QString &path)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        file.remove();
        return QStringLiteral("(%1 could be opened)").arg(path);
    }
    return file.errorString();
}

bool underWine()
{
#ifdef Q_OS_WIN
    // Wine's ntdll tells its version; Windows' has no such function.
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}

bool sendConsoleEvent(ConsoleEvent event)
{
#ifdef Q_OS_WIN
    // The console host starts kernelbase's CtrlRoutine in the process with
    // the event; it calls the handlers in turn until one takes it.
    const HMODULE kernelbase = ::GetModuleHandleW(L"kernelbase.dll");
    const FARPROC routine = kernelbase ? ::GetProcAddress(kernelbase, "CtrlRoutine") : nullptr;
    if (!routine)
        return false;
    const DWORD type = event == ConsoleEvent::Close    ? CTRL_CLOSE_EVENT
                       : event == ConsoleEvent::LogOff ? CTRL_LOGOFF_EVENT
                                                       : CTRL_SHUTDOWN_EVENT;
    const HANDLE thread = ::CreateThread(nullptr, 0,
                                         reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void (*)()>(routine)),
                                         reinterpret_cast<LPVOID>(DWORD_PTR(type)), 0, nullptr);
    if (!thread)
        return false;
    ::CloseHandle(thread); // the handler keeps its thread a few seconds, as Windows lets it
    return true;
#else
    Q_UNUSED(event);
    return false;
#endif
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    writeBytes(path, bytes);
    return path;
}

QString TestRun::boxQuestion() const
{
    return QueryForm::boxText(inside(*form).txt_question);
}

QString TestRun::boxAnswer() const
{
    return QueryForm::boxText(inside(*form).txt_answer);
}

void TestRun::typeAnswer(const QString &text)
{
    QueryForm::setBoxText(inside(*form).txt_answer, text);
}

QString bankOfAssignmentOne(const QStringList &entries)
{
    QString text = QStringLiteral("@@\n001.  `Query 1\n");
    for (const QString &e : entries)
        text += QStringLiteral("@@\n") + e + QLatin1Char('\n');
    return text + QStringLiteral("@@\n002.  `Query 2\n@@\n`qnext assignment\n");
}
