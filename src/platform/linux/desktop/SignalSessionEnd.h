#pragma once

#include "platform/linux/FileDescriptor.h"

#include <QObject>
#include <csignal>
#include <functional>
#include <iterator>
#include <memory>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP as the session's request to end. The signal handler only writes
// the signal number to a pipe; a QSocketNotifier on the pipe's other end calls the handler
// from the event loop, where shutting down is safe. The previous dispositions come back when
// this object goes.
class CSignalSessionEnd : public QObject {
public:
    CSignalSessionEnd();
    ~CSignalSessionEnd() override;
    CSignalSessionEnd(const CSignalSessionEnd&) = delete;
    CSignalSessionEnd& operator=(const CSignalSessionEnd&) = delete;

    // An empty handler stops the calls.
    void SetHandler(std::function<void()> handler);

private:
    void OnReadable();

    static constexpr int kSignals[] = { SIGTERM, SIGINT, SIGHUP };
    CFileDescriptor m_readEnd;
    CFileDescriptor m_writeEnd;
    std::unique_ptr<QSocketNotifier> m_pNotifier;
    std::function<void()> m_handler;
    struct sigaction m_previous[std::size(kSignals)] {};
    bool m_bInstalled = false;
};
