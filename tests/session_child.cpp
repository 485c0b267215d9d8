// Plays the scripted session and kills itself (SIGKILL: nothing of the
// program runs after it) at the file operation numbered by its second
// argument, as a power cut or kill -9 would stop it.

#include "session.h"

#include "platform/oscalls.h"

#include <QApplication>

#include <csignal>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const QString base = QString::fromLocal8Bit(argv[1]);
    const int killAt = QByteArray(argv[2]).toInt();
    int seen = 0;
    oscalls::setFaultInjector([&](oscalls::Io, const QString &) {
        if (++seen == killAt)
            ::kill(::getpid(), SIGKILL);
        return false;
    });
    auto run = std::make_unique<SessionRun>(base);
    session::play(run);
    return 0;
}
