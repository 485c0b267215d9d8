#include "app/runwindow.h"

#include "flow/queryform.h"
#include "platform/platform.h"
#include "ui/recovery.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstdlib>

namespace {

QString firstWarning;
const char *programName = "calculus-study";

/// While the application object is made: the toolkit's warnings are held
/// back, and a fatal one (no display to show a window on) ends the program
/// with one line and status 1 instead of an abort.
void whileStarting(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtFatalMsg) {
        if (firstWarning.isEmpty() && type != QtDebugMsg && type != QtInfoMsg)
            firstWarning = message;
        return;
    }
    const QString why = firstWarning.isEmpty() ? message.section(QLatin1Char('\n'), 0, 0) : firstWarning;
    std::fprintf(stderr, "%s: cannot show its window: %s\n", programName, qPrintable(why));
    std::fflush(stderr);
    std::_Exit(1);
}

} // namespace

std::unique_ptr<QApplication> startToolkit(char *argv[], const char *program)
{
    programName = program;
    // The toolkit is given no argument but the program's name: the command
    // line is the program's own (--help, --version) and nothing else acts.
    // QApplication keeps a reference to the count for its life.
    static int toolkitArgc = 1;
    const QtMessageHandler usual = qInstallMessageHandler(whileStarting);
    auto app = std::make_unique<QApplication>(toolkitArgc, argv);
    qInstallMessageHandler(usual);
    QApplication::setApplicationName(QString::fromLatin1(program));
    QApplication::setApplicationVersion(QStringLiteral(CALCULUS_STUDY_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/app/icons/calculus-study-256.png")));
    QGuiApplication::setDesktopFileName(QStringLiteral(CALCULUS_STUDY_APP_ID));
    return app;
}

int runWindow(int argc, char *argv[], const char *program, WalkSource *walk)
{
    Q_UNUSED(argc);
    const std::unique_ptr<QApplication> app = startToolkit(argv, program);

    QtPlatform platform;
    QueryForm form(platform);
    form.enableAnswerRecovery(AnswerRecovery::defaultFolder());
    form.keepWorkAtEveryEnd();
    if (walk ? !form.startWalk(*walk) : !form.startRun())
        return 1;
    platform.setDialogParent(&form);
    form.show();
    form.restoreUnrecordedAnswer();
    return app->exec();
}
