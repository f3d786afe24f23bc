#include "platform/linux/desktop/SignalSessionEnd.h"

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The one thing a signal handler may reach: the pipe's write end, set while an object of
// this class has its handlers installed.
std::atomic<int> g_nSignalPipe { -1 };

void OnSignal(int nSignal)
{
    const int savedErrno = errno;
    const int fd = g_nSignalPipe.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(nSignal);
        // A full pipe already holds a request to end: dropping this one loses nothing.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

CSignalSessionEnd::CSignalSessionEnd()
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_readEnd = CFileDescriptor(fds[0]);
    m_writeEnd = CFileDescriptor(fds[1]);
    // Only one object can own the handlers; a second one stays silent.
    int nExpected = -1;
    if (!g_nSignalPipe.compare_exchange_strong(nExpected, m_writeEnd.Get()))
        return;
    m_pNotifier = std::make_unique<QSocketNotifier>(m_readEnd.Get(), QSocketNotifier::Read);
    connect(m_pNotifier.get(), &QSocketNotifier::activated, this, &CSignalSessionEnd::OnReadable);

    struct sigaction action { };
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        sigaction(kSignals[i], &action, &m_previous[i]);
    m_bInstalled = true;
}

CSignalSessionEnd::~CSignalSessionEnd()
{
    if (!m_bInstalled)
        return;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        sigaction(kSignals[i], &m_previous[i], nullptr);
    g_nSignalPipe.store(-1);
}

void CSignalSessionEnd::SetHandler(std::function<void()> handler)
{
    m_handler = std::move(handler);
}

void CSignalSessionEnd::OnReadable()
{
    unsigned char buffer[64];
    bool bAny = false;
    while (::read(m_readEnd.Get(), buffer, sizeof(buffer)) > 0)
        bAny = true;
    // Several signals in a row are one request to end.
    if (bAny && m_handler)
        m_handler();
}
