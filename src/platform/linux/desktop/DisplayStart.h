#pragma once

#include "platform/linux/x11/XcbDisplayCheck.h"

#include <QString>
#include <QtGlobal>
#include <memory>
#include <string>
#include <vector>

// Getting a display before Qt starts, and while it starts: every start that cannot have one
// ends with one line on stderr and exit code 1, never with Qt's abort (and its core dump).
//
// - The X display the program will use is opened first, within kDeadlineMs: a server that
//   accepts the connection and never answers ends the start there.
// - While the Qt application is being built, Qt's messages are held back. A fatal one (no
//   platform plugin could start: no compositor, a display gone in between) becomes the
//   program's line and exit code 1; otherwise Finish passes them on as they came.
class CDisplayStart {
public:
    static constexpr int kDeadlineMs = 4000;

    CDisplayStart(int argc, char** argv);
    ~CDisplayStart();
    CDisplayStart(const CDisplayStart&) = delete;
    CDisplayStart& operator=(const CDisplayStart&) = delete;

    // Empty when the display opened or another platform was asked for; otherwise one line
    // that names the display.
    const std::string& Problem() const { return m_strProblem; }
    // Once the Qt application exists: Qt's messages flow again, and the check's connection
    // goes now that Qt holds its own.
    void Finish();

private:
    struct HeldMessage {
        QtMsgType type;
        QByteArray category;
        QString text;
    };
    static void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text);
    static void OnDeadline(int nSignal);

    std::string m_strProblem;
    // What the line names: the display, or the platforms asked for.
    std::string m_strWhat;
    std::unique_ptr<CXcbDisplayCheck> m_pCheck;
    QtMessageHandler m_previousHandler = nullptr;
    std::vector<HeldMessage> m_held;
    bool m_bHolding = false;
};
