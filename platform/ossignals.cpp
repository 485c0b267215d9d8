#include "platform/oscalls.h"

#include <QCoreApplication>
#include <QMetaObject>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace oscalls {

namespace {
std::function<void()> endHandler;
}

#ifdef Q_OS_WIN

namespace {
BOOL WINAPI consoleEvent(DWORD type)
{
    if (type != CTRL_CLOSE_EVENT && type != CTRL_LOGOFF_EVENT && type != CTRL_SHUTDOWN_EVENT)
        return FALSE;
    // This runs on a thread of its own: the handler runs in the event loop,
    // and the process is ended by the handler, not by returning here.
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] { endHandler(); }, Qt::QueuedConnection);
    ::Sleep(5000);
    return TRUE;
}
} // namespace

void onEndRequested(std::function<void()> handler)
{
    endHandler = std::move(handler);
    ::SetConsoleCtrlHandler(consoleEvent, TRUE);
}

#else

namespace {
int wakeFds[2] = {-1, -1};

// Only a write may be done inside a signal handler; the event loop reads
// the byte and does the real work. The socket does not block, so a flood of
// signals after the first cannot stop the handler inside a full buffer, and
// errno is given back to the code the signal interrupted.
extern "C" void endSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    const ssize_t ignored = ::write(wakeFds[0], &byte, 1);
    (void)ignored;
    errno = savedErrno;
}
} // namespace

void onEndRequested(std::function<void()> handler)
{
    endHandler = std::move(handler);
    if (wakeFds[0] >= 0)
        return;
    // SOCK_CLOEXEC is not on every system (macOS lacks it): the flag is set after.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, wakeFds) != 0)
        return;
    for (const int fd : wakeFds)
        ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
    ::fcntl(wakeFds[0], F_SETFL, ::fcntl(wakeFds[0], F_GETFL) | O_NONBLOCK);
    auto *notifier = new QSocketNotifier(wakeFds[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier] {
        char byte;
        if (::read(wakeFds[1], &byte, 1) == 1) {
            notifier->setEnabled(false); // one end is enough
            if (endHandler)
                endHandler();
        }
    });
    struct sigaction action = {};
    action.sa_handler = endSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // Ctrl+C and Ctrl+\ in the terminal that started the program end a run
    // as politely as a log-out does.
    for (const int signal : {SIGTERM, SIGHUP, SIGINT, SIGQUIT})
        ::sigaction(signal, &action, nullptr);
}

#endif

} // namespace oscalls
