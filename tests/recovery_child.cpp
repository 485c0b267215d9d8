// A run that types an answer and waits to be killed: the recovery test
// starts it, kills it with SIGKILL once the answer is kept, and starts again.
#include "scriptedplatform.h"

#include <QApplication>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const QString recoveryPath = QString::fromLocal8Bit(argv[1]);
    const QString typed = QString::fromUtf8(argv[2]);
    TestRun run;
    run.form->enableAnswerRecovery(recoveryPath);
    if (!run.start())
        return 3;
    run.form->show();
    run.form->cmdNextQuestionClick();
    run.typeAnswer(typed);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QFileInfo::exists(recoveryPath)) {
            std::printf("kept\n");
            std::fflush(stdout);
            poll.stop();
        }
    });
    poll.start(20);
    return app.exec();
}
