#include "flow/queryform.h"
#include "ui/platform.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("calculus-study"));

    QtPlatform platform;
    QueryForm form(platform);
    if (!form.startRun())
        return 0;
    platform.setDialogParent(&form);
    form.show();
    return app.exec();
}
