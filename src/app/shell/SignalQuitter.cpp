#include "shell/SignalQuitter.h"

#include "shell/AppLog.h"

#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace korvane {

namespace {

volatile sig_atomic_t g_writeFd = -1;

extern "C" void onQuitSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // Only async-signal-safe calls here. A full pipe means a quit is already pending.
    [[maybe_unused]] const ssize_t written = ::write(g_writeFd, &byte, 1);
    errno = savedErrno;
}

bool makeNonBlockingCloseOnExec(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 &&
           ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

} // namespace

SignalQuitter::SignalQuitter(QObject* parent) : QObject(parent)
{
    if (g_writeFd != -1) {
        qCWarning(lcApp) << "signal handling is already installed";
        return;
    }
    if (::pipe(m_pipe) != 0 || !makeNonBlockingCloseOnExec(m_pipe[0]) ||
        !makeNonBlockingCloseOnExec(m_pipe[1])) {
        qCWarning(lcApp) << "cannot create the signal pipe:" << ::strerror(errno);
        return;
    }
    g_writeFd = m_pipe[1];
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalQuitter::readSignals);

    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    ::sigaction(SIGTERM, &action, &m_previousTerm);
    ::sigaction(SIGINT, &action, &m_previousInt);
    m_installed = true;
}

SignalQuitter::~SignalQuitter()
{
    if (m_installed) {
        ::sigaction(SIGTERM, &m_previousTerm, nullptr);
        ::sigaction(SIGINT, &m_previousInt, nullptr);
        g_writeFd = -1;
    }
    delete m_notifier;
    for (int& fd : m_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void SignalQuitter::readSignals()
{
    unsigned char buffer[16];
    for (;;) {
        const ssize_t n = ::read(m_pipe[0], buffer, sizeof buffer);
        if (n > 0) {
            for (ssize_t i = 0; i < n; ++i) {
                qCDebug(lcApp) << "quitting on signal" << int(buffer[i]);
                Q_EMIT quitRequested(int(buffer[i]));
            }
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
}

} // namespace korvane
