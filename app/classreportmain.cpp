// calculus-study-class-report: the menu's way into the instructor's report.
// A small window shows the progress of calculus-study-report, run from this
// program's own folder by ClassReportRun.
#include "app/classreport.h"
#include "app/commandline.h"
#include "app/runwindow.h"
#include "platform/platform.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>
#include <QWidget>

namespace {

/// The progress of one run: a line of text and a bar, busy while the count is
/// not known. It stays open until the report ends: closing it then would
/// leave a half-written site's hidden files behind.
class ProgressWindow : public QWidget
{
public:
    ProgressWindow()
    {
        setWindowTitle(QStringLiteral("Calculus Study: class report"));
        auto *layout = new QVBoxLayout(this);
        m_text.setWordWrap(true);
        m_text.setMinimumWidth(420);
        layout->addWidget(&m_text);
        layout->addWidget(&m_bar);
        m_bar.setAccessibleName(QStringLiteral("Files read"));
    }
    void showProgress(int done, int total, const QString &text)
    {
        m_text.setText(text);
        m_bar.setRange(0, total); // 0 of 0: a busy bar
        m_bar.setValue(done);
    }
    bool closable = false;

protected:
    void closeEvent(QCloseEvent *event) override
    {
        if (!closable)
            event->ignore();
    }

private:
    QLabel m_text;
    QProgressBar m_bar;
};

} // namespace

int main(int argc, char *argv[])
{
    if (answerCommandLine(argc, argv, Program::ClassReport))
        return 0;
    const std::unique_ptr<QApplication> app = startToolkit(argv, "calculus-study-class-report");

    ProgressWindow window;
    QtPlatform platform(&window);
#ifdef Q_OS_WIN
    const QString report = QStringLiteral("/calculus-study-report.exe");
#else
    const QString report = QStringLiteral("/calculus-study-report");
#endif
    ClassReportRun run(platform, QCoreApplication::applicationDirPath() + report);
    QObject::connect(&run, &ClassReportRun::progress, &window, &ProgressWindow::showProgress);
    int status = 0;
    QObject::connect(&run, &ClassReportRun::finished, app.get(), [&](bool opened) {
        status = opened ? 0 : 1;
        window.closable = true;
        QCoreApplication::quit();
    });
    switch (run.start()) {
    case ClassReportRun::Start::Cancelled:
        return 0;
    case ClassReportRun::Start::Failed:
        return 1;
    case ClassReportRun::Start::Started:
        break;
    }
    window.show();
    app->exec();
    return status;
}
