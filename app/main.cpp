#include "flow/queryform.h"
#include "ui/platform.h"
#include "ui/recovery.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("calculus-study"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/app/icons/calculus-study-256.png")));
    QGuiApplication::setDesktopFileName(QStringLiteral("calculus-study"));

    QtPlatform platform;
    QueryForm form(platform);
    form.enableAnswerRecovery(AnswerRecovery::defaultFolder());
    AnswerRecovery::keepTypingAtEveryEnd(form);
    if (!form.startRun())
        return 1;
    platform.setDialogParent(&form);
    form.show();
    form.restoreUnrecordedAnswer();
    return app.exec();
}
