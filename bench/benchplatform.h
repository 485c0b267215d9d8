#pragma once

#include "platform/platform.h"

#include <QStringList>

/// A platform for the benchmark: the start-up boxes are answered from a
/// list, every later box (the ratings) with one fixed answer, the clock and
/// the random numbers are fixed, and the end of the run does not end the
/// process, so that one process can measure many runs.
class BenchPlatform : public Platform
{
public:
    QStringList answers;                    ///< answers to the first input boxes, in order
    QString laterAnswer = QStringLiteral("2"); ///< the answer once the list is used up
    QStringList messages;                   ///< every message shown; the benchmark fails on any
    int exits = 0;

    QString inputBox(const QString &prompt) override;
    void message(const QString &text) override { messages.append(text); }
    QDateTime now() override;
    void seedRandom(quint32) override {}
    float random() override;
    void beep() override {}
    void setClipboardImage(const QImage &image) override { m_clipboard = image; }
    QImage clipboardImage() override { return m_clipboard; }
    void exitProcess() override { ++exits; }

private:
    quint32 m_lcg = 12345;
    QImage m_clipboard;
};
