#pragma once

#include "platform/IDataFiles.h"
#include "platform/IProcessLauncher.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// Opens an address the way the desktop would: xdg-open first; when that cannot be started or
// fails, the Exec line of the default text/html handler with the address in place of its
// %u/%U/%f/%F field code. Programs are always started with an argument vector, the address
// being one argument, so no address can run a command.
class CLinkOpener {
public:
    // Results like the shell's: above 32 means opened.
    static constexpr int kOpened = 42;
    static constexpr int kFileNotFound = 2; // xdg-open could not be started, or a bad address
    static constexpr int kNoAssociation = 31; // xdg-open ran and could not open it
    static constexpr int kOpenTimeoutMs = 5000;
    static constexpr int kQueryTimeoutMs = 5000;

    // The fallback command: the argv that is started, and the same as one line of text.
    struct Command {
        QStringList argv;
        QString commandLine;
    };

    CLinkOpener(IProcessLauncher& launcher, IDataFiles& files);

    // Opens the address without blocking: xdg-open and xdg-mime are waited for from the event
    // loop and `done` gets the result; nothing is called once `context` is gone.
    void ShellOpenAsync(
        const QString& address, const QObject* context, std::function<void(int)> done);

    // The Exec line (string escapes already undone) up to its first %u/%U/%f/%F argument,
    // quoted or not, with everything from there on dropped and the address appended: as text,
    // the line cut at that argument, one space and the address; as argv, the arguments before
    // it (%% made %, other field codes removed) and the address. Nothing for an Exec line that
    // breaks the quoting or field code rules or names no program, or that would have a shell
    // (also one started through env) take the address as its script or command text.
    static std::optional<Command> BuildFallbackCommand(const QString& exec, const QString& address);

    // The Exec line, string escapes undone, of the desktop entry that `xdg-mime query default
    // text/html` answered with.
    std::optional<QString> HtmlCommandOf(const ProcessResult& query);

    // The paths a desktop file id may stand for under an applications/ folder: the id itself,
    // and with each '-' read as either '-' or '/'. Nothing for an id that is not a file name
    // ending in ".desktop".
    static std::optional<QStringList> DesktopIdPaths(const QString& id);

private:
    static bool Openable(const QString& address);
    // The shell's result for xdg-open's outcome: kOpened, or the failure the fallback keeps.
    static int ShellResult(const ProcessResult& opened);
    // Starts the default browser's own command for the address, given xdg-mime's answer.
    int StartFallback(const ProcessResult& query, const QString& address, int nShellResult);

    static constexpr int kMaxDashesExpanded = 8; // 256 paths per data directory at most

    IProcessLauncher& m_launcher;
    IDataFiles& m_files;
};
