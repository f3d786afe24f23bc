#include "dialogs/LinkOpener.h"

#include "dialogs/DesktopEntry.h"

#include <algorithm>
#include <array>

namespace {

QStringList QueryArgs()
{
    return { QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/html") };
}

QStringView BaseName(QStringView path)
{
    return path.sliced(path.lastIndexOf(u'/') + 1);
}

bool IsShell(QStringView program)
{
    static constexpr std::array<QStringView, 17> kShells
        = { u"sh", u"ash", u"bash", u"rbash", u"dash", u"zsh", u"ksh", u"ksh93", u"mksh", u"lksh",
              u"oksh", u"pdksh", u"posh", u"yash", u"csh", u"tcsh", u"fish" };
    const QStringView name = BaseName(program);
    return std::find(kShells.begin(), kShells.end(), name) != kShells.end();
}

// argv ends with the address. True when the program it starts, seen through env and busybox,
// would run the address itself: as the program, or as a shell's script or command text
// ("sh -c %u" makes any address a command). A shell whose script comes first and takes the
// address as a parameter ("sh -c 'exec web \"$1\"' sh %u") is fine.
bool RunsAsScript(const QStringList& argv)
{
    const qsizetype nAddress = argv.size() - 1;
    qsizetype i = 0;
    // env [-i] [-u NAME] [-C DIR] [NAME=VALUE ...] program ..., busybox applet ...
    while (i < nAddress && (BaseName(argv[i]) == u"env" || BaseName(argv[i]) == u"busybox")) {
        const bool bEnv = BaseName(argv[i]) == u"env";
        ++i;
        while (bEnv && i < nAddress) {
            const QString& arg = argv[i];
            if (arg == u"--") {
                ++i;
                break;
            }
            // -S splits one word into a command line of its own: nothing to judge it by.
            if (arg.startsWith(u"-S") || arg.startsWith(u"--split-string")
                || (arg.startsWith(u'-') && !arg.startsWith(u"--") && arg.contains(u'S')))
                return true;
            if (arg == u"-u" || arg == u"-C" || arg == u"--unset" || arg == u"--chdir")
                i += 2;
            else if (arg.startsWith(u'-') || arg.contains(u'='))
                ++i;
            else
                break;
        }
    }
    if (i >= nAddress)
        return true;
    if (!IsShell(argv[i]))
        return false;
    // The shell's options, then its script (or with -c its command text), then parameters.
    for (++i; i < nAddress; ++i) {
        const QString& arg = argv[i];
        if (arg == u"--" || arg == u"-") {
            ++i;
            break;
        }
        if (!arg.startsWith(u'-') && !arg.startsWith(u'+'))
            break;
        if (arg == u"-o" || arg == u"+o" || arg == u"-O" || arg == u"+O" || arg == u"--rcfile"
            || arg == u"--init-file")
            ++i; // takes the next word
    }
    return i >= nAddress;
}

} // namespace

CLinkOpener::CLinkOpener(IProcessLauncher& launcher, IDataFiles& files)
    : m_launcher(launcher)
    , m_files(files)
{
}

bool CLinkOpener::Openable(const QString& address)
{
    // An address starting with '-' would be read as an option by xdg-open or the browser.
    return !address.isEmpty() && !address.startsWith(u'-') && !address.contains(QChar(0));
}

void CLinkOpener::ShellOpenAsync(
    const QString& address, const QObject* context, std::function<void(int)> done)
{
    if (!Openable(address)) {
        done(kFileNotFound);
        return;
    }
    // The opener lives as long as the context that owns it; the launcher drops the calls
    // once that is gone.
    m_launcher.LaunchAsync(QStringLiteral("xdg-open"), { address }, kOpenTimeoutMs, context,
        [this, address, context, done = std::move(done)](const ProcessResult& opened) {
            const int nShellResult = ShellResult(opened);
            if (nShellResult == kOpened) {
                done(kOpened);
                return;
            }
            // xdg-mime is a script that may take as long: not waited for either.
            m_launcher.RunAsync(QStringLiteral("xdg-mime"), QueryArgs(), kQueryTimeoutMs, context,
                [this, address, nShellResult, done](const ProcessResult& query) {
                    done(StartFallback(query, address, nShellResult));
                });
        });
}

int CLinkOpener::ShellResult(const ProcessResult& opened)
{
    using Outcome = ProcessResult::Outcome;
    // Still running after the wait: xdg-open has become the browser (it does so on desktops it
    // does not know), and the page is being shown.
    if ((opened.outcome == Outcome::Exited && opened.exitCode == 0)
        || opened.outcome == Outcome::TimedOut)
        return kOpened;
    return opened.outcome == Outcome::NotStarted ? kFileNotFound : kNoAssociation;
}

int CLinkOpener::StartFallback(const ProcessResult& query, const QString& address, int nShellResult)
{
    const std::optional<QString> exec = HtmlCommandOf(query);
    if (!exec)
        return nShellResult;
    const std::optional<Command> command = BuildFallbackCommand(*exec, address);
    if (!command)
        return nShellResult;
    const QStringList args = command->argv.mid(1);
    return m_launcher.StartDetached(command->argv.front(), args) ? kOpened : kFileNotFound;
}

std::optional<CLinkOpener::Command> CLinkOpener::BuildFallbackCommand(
    const QString& exec, const QString& address)
{
    const auto args = CDesktopEntry::SplitExec(exec);
    if (!args)
        return std::nullopt;

    Command command;
    qsizetype nCut = -1; // index of the argument holding the first %u/%U/%f/%F
    for (qsizetype k = 0; k < qsizetype(args->size()); ++k) {
        const QString& text = (*args)[size_t(k)].text;
        QString expanded;
        bool bHadCode = false;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i] != u'%') {
                expanded += text[i];
                continue;
            }
            if (i + 1 == text.size())
                return std::nullopt; // a lone % at the end
            const QChar code = text[++i];
            if (code == u'%') {
                expanded += u'%';
            } else if (QStringView(u"fFuU").contains(code)) {
                bHadCode = true;
                if (nCut < 0)
                    nCut = k;
            } else if (QStringView(u"ickdDnNvm").contains(code)) {
                bHadCode = true; // the icon, name and file location are of no use to a link
            } else {
                return std::nullopt; // not a field code
            }
        }
        // The rest of the line is only checked, not used.
        if (nCut < 0 && (!bHadCode || !expanded.isEmpty()))
            command.argv << expanded;
    }
    if (command.argv.isEmpty())
        return std::nullopt;
    command.argv << address;
    if (RunsAsScript(command.argv))
        return std::nullopt;
    const qsizetype nCutAt = nCut < 0 ? exec.size() : (*args)[size_t(nCut)].nStart;
    command.commandLine = exec.left(nCutAt) + u' ' + address;
    return command;
}

std::optional<QString> CLinkOpener::HtmlCommandOf(const ProcessResult& query)
{
    if (query.outcome != ProcessResult::Outcome::Exited || query.exitCode != 0)
        return std::nullopt;
    const QString id = QString::fromUtf8(query.output).section(u'\n', 0, 0).trimmed();
    const std::optional<QStringList> paths = DesktopIdPaths(id);
    if (!paths)
        return std::nullopt;

    for (const QString& dir : m_files.DataDirs()) {
        for (const QString& path : *paths) {
            const std::optional<QByteArray> bytes = m_files.ReadFile(
                dir + QStringLiteral("/applications/") + path, CDesktopEntry::kMaxSize);
            if (!bytes)
                continue;
            // The first file found is the handler, even when it turns out unusable.
            CDesktopEntry entry;
            if (!entry.Parse(*bytes))
                return std::nullopt;
            const std::optional<QString> type = entry.GetString(u"Type");
            const std::optional<QString> hidden = entry.GetString(u"Hidden");
            if ((type && *type != u"Application") || (hidden && *hidden == u"true"))
                return std::nullopt;
            return entry.GetString(u"Exec");
        }
    }
    return std::nullopt;
}

std::optional<QStringList> CLinkOpener::DesktopIdPaths(const QString& id)
{
    static constexpr qsizetype kMaxIdLength = 255;
    if (id.size() > kMaxIdLength || !id.endsWith(u".desktop") || id.size() == 8
        || id.startsWith(u'.') || id.contains(u'/') || id.contains(u'\\'))
        return std::nullopt;
    for (const QChar c : id) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return std::nullopt;
    }

    std::vector<qsizetype> dashes;
    for (qsizetype i = 0; i < id.size(); ++i) {
        if (id[i] == u'-')
            dashes.push_back(i);
    }
    QStringList paths { id };
    if (dashes.size() > size_t(kMaxDashesExpanded))
        return paths;
    // Every other choice of the dashes that stand for a folder separator.
    const unsigned nCombinations = 1u << dashes.size();
    for (unsigned mask = 1; mask < nCombinations; ++mask) {
        QString path = id;
        bool bEmptyPart = false;
        for (size_t d = 0; d < dashes.size(); ++d) {
            if (mask & (1u << d))
                path[dashes[d]] = u'/';
        }
        for (const QStringView part : QStringView(path).split(u'/'))
            bEmptyPart = bEmptyPart || part.isEmpty() || part == u"." || part == u"..";
        if (!bEmptyPart)
            paths << path;
    }
    return paths;
}
