#include "platform/platform.h"

#include "platform/typeahead.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

#include <cstdlib>
#include <optional>

QString Platform::applicationTitle()
{
    return QStringLiteral("Calculus Study");
}

QString Platform::chooseFolder(const QString &, const QString &)
{
    return QString();
}

QString Platform::chooseFile(const QString &, const QString &, const QString &)
{
    return QString();
}

bool Platform::startProcess(QProcess &, const QString &, const QStringList &, QString &reason)
{
    reason = QStringLiteral("this program starts no other");
    return false;
}

bool Platform::openInBrowser(const QString &)
{
    return false;
}

QString QtPlatform::inputBox(const QString &prompt)
{
    QInputDialog dialog(m_parent);
    dialog.setWindowTitle(applicationTitle());
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setLabelText(prompt);
    // The long prompts would otherwise stretch the box across the screen.
    for (QLabel *label : dialog.findChildren<QLabel *>())
        label->setWordWrap(true);
    dialog.resize(420, dialog.sizeHint().height());
    // A rating typed straight after the command that asks for it goes into
    // the box, not the window under it.
    std::optional<TypeAhead> typeAhead;
    if (m_parent && m_parent->isVisible())
        typeAhead.emplace(m_parent, &dialog);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.textValue();
}

void QtPlatform::message(const QString &text)
{
    // Plain text always: a box can carry names from handed-in files (the
    // class report's warnings), and a name like "<img src=...>" is not markup.
    QMessageBox box(QMessageBox::Warning, applicationTitle(), text, QMessageBox::Ok, m_parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QDateTime QtPlatform::now()
{
    return QDateTime::currentDateTime();
}

void QtPlatform::seedRandom(quint32 seed)
{
    m_state = 0x853c49e6748fea9bULL ^ (quint64(seed) * 0x9e3779b97f4a7c15ULL);
    random();
}

float QtPlatform::random()
{
    // splitmix64: small, fast and uniform enough for noise characters and colours.
    quint64 z = (m_state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    z ^= z >> 31;
    // 24 random bits give every float of [0, 1) on the 2^-24 grid, never 1.
    return float(z >> 40) * (1.0f / 16777216.0f);
}

void QtPlatform::beep()
{
    QApplication::beep();
}

void QtPlatform::setClipboardImage(const QImage &image)
{
    if (QClipboard *clipboard = QGuiApplication::clipboard())
        clipboard->setImage(image);
}

QImage QtPlatform::clipboardImage()
{
    if (QClipboard *clipboard = QGuiApplication::clipboard())
        return clipboard->image();
    return QImage();
}

void QtPlatform::exitProcess()
{
    std::exit(exitStatus());
}

QString QtPlatform::chooseFolder(const QString &title, const QString &start)
{
    return QFileDialog::getExistingDirectory(m_parent, title, start);
}

QString QtPlatform::chooseFile(const QString &title, const QString &start, const QString &filter)
{
    return QFileDialog::getOpenFileName(m_parent, title, start, filter);
}

bool QtPlatform::startProcess(QProcess &process, const QString &program, const QStringList &arguments,
                              QString &reason)
{
    // A console program started from a program without a console gets no
    // console window of its own on Windows (QProcess asks CREATE_NO_WINDOW).
    process.start(program, arguments, QIODevice::ReadOnly);
    if (process.waitForStarted(30000))
        return true;
    reason = process.errorString();
    process.kill();
    return false;
}

bool QtPlatform::openInBrowser(const QString &path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
