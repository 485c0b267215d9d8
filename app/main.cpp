#include "app/commandline.h"
#include "flow/queryform.h"
#include "platform/platform.h"
#include "ui/recovery.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    // Before QApplication: it would need a display, and the form makes folders.
    if (answerCommandLine(argc, argv))
        return 0;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("calculus-study"));
    QApplication::setApplicationVersion(QStringLiteral(CALCULUS_STUDY_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/app/icons/calculus-study-256.png")));
    QGuiApplication::setDesktopFileName(QStringLiteral(CALCULUS_STUDY_APP_ID));

    QtPlatform platform;
    QueryForm form(platform);
    form.enableAnswerRecovery(AnswerRecovery::defaultFolder());
    form.keepWorkAtEveryEnd();
    if (!form.startRun())
        return 1;
    platform.setDialogParent(&form);
    form.show();
    form.restoreUnrecordedAnswer();
    return app.exec();
}
