#include "platform/platform.h"

#include "platform/typeahead.h"

#include <QApplication>
#include <QClipboard>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>

#include <cstdlib>
#include <optional>

QString Platform::applicationTitle()
{
    return QStringLiteral("Calculus Study");
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
    QMessageBox::warning(m_parent, applicationTitle(), text);
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
