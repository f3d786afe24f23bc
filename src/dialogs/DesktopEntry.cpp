#include "dialogs/DesktopEntry.h"

#include <QStringDecoder>

namespace {

bool IsKeyChar(QChar c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')
        || c == u'-';
}

// Key, with an optional [locale] suffix.
bool IsValidKey(QStringView key)
{
    qsizetype i = 0;
    while (i < key.size() && IsKeyChar(key[i]))
        ++i;
    if (i == 0)
        return false;
    if (i == key.size())
        return true;
    if (key[i] != u'[' || key.back() != u']' || key.size() - i < 3)
        return false;
    const QStringView locale = key.sliced(i + 1, key.size() - i - 2);
    return !locale.contains(u'[') && !locale.contains(u']') && !locale.contains(u' ');
}

bool IsControl(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7f;
}

bool IsReservedUnquoted(QChar c)
{
    static constexpr char16_t kReserved[] = u"\"'\\><~|&;$*?#()`";
    if (IsControl(c))
        return true;
    for (const char16_t r : kReserved) {
        if (r != 0 && c == r)
            return true;
    }
    return false;
}

} // namespace

bool CDesktopEntry::Parse(QByteArrayView bytes)
{
    m_entries.clear();
    if (bytes.size() > kMaxSize || bytes.contains('\0'))
        return false;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(bytes);
    if (decoder.hasError())
        return false;

    std::vector<QString> groups;
    std::vector<std::pair<QString, QString>> entries;
    bool bInMain = false;
    const QStringView all(text);
    qsizetype nPos = 0;
    while (nPos <= all.size()) {
        qsizetype nEol = all.indexOf(u'\n', nPos);
        if (nEol < 0)
            nEol = all.size();
        QStringView line = all.sliced(nPos, nEol - nPos);
        nPos = nEol + 1;
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QStringView trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u'#'))
            continue;
        if (trimmed.startsWith(u'[')) {
            if (!trimmed.endsWith(u']') || trimmed.size() < 3)
                return false;
            const QString name = trimmed.sliced(1, trimmed.size() - 2).toString();
            for (const QChar c : name) {
                if (c == u'[' || c == u']' || IsControl(c))
                    return false;
            }
            for (const QString& seen : groups) {
                if (seen == name)
                    return false;
            }
            groups.push_back(name);
            bInMain = name == u"Desktop Entry";
            continue;
        }
        const qsizetype nEquals = line.indexOf(u'=');
        if (nEquals < 0 || groups.empty())
            return false;
        const QStringView key = line.first(nEquals).trimmed();
        if (!IsValidKey(key))
            return false;
        if (!bInMain)
            continue;
        // White space after '=' is not part of the value; trailing white space is.
        QStringView value = line.sliced(nEquals + 1);
        while (!value.isEmpty() && (value.front() == u' ' || value.front() == u'\t'))
            value = value.sliced(1);
        for (const auto& [seenKey, seenValue] : entries) {
            if (seenKey == key)
                return false;
        }
        entries.emplace_back(key.toString(), value.toString());
    }
    bool bHasMain = false;
    for (const QString& name : groups)
        bHasMain = bHasMain || name == u"Desktop Entry";
    if (!bHasMain)
        return false;
    m_entries = std::move(entries);
    return true;
}

std::optional<QString> CDesktopEntry::GetString(QStringView key) const
{
    for (const auto& [entryKey, value] : m_entries) {
        if (entryKey == key)
            return UnescapeString(value);
    }
    return std::nullopt;
}

QString CDesktopEntry::UnescapeString(QStringView raw)
{
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw[i];
        if (c != u'\\' || i + 1 == raw.size()) {
            out += c;
            continue;
        }
        const QChar next = raw[++i];
        switch (next.unicode()) {
        case u's':
            out += u' ';
            break;
        case u'n':
            out += u'\n';
            break;
        case u't':
            out += u'\t';
            break;
        case u'r':
            out += u'\r';
            break;
        case u'\\':
            out += u'\\';
            break;
        default:
            out += c;
            out += next;
        }
    }
    return out;
}

std::optional<std::vector<CDesktopEntry::ExecArg>> CDesktopEntry::SplitExec(QStringView exec)
{
    std::vector<ExecArg> args;
    const qsizetype n = exec.size();
    qsizetype i = 0;
    while (i < n) {
        if (exec[i] == u' ') {
            ++i;
            continue;
        }
        ExecArg arg;
        arg.nStart = i;
        if (exec[i] == u'"') {
            ++i;
            for (;;) {
                if (i >= n)
                    return std::nullopt; // no closing quote
                const QChar c = exec[i];
                if (c == u'"') {
                    ++i;
                    break;
                }
                if (c == u'\\') {
                    if (i + 1 >= n)
                        return std::nullopt;
                    const QChar next = exec[i + 1];
                    if (next != u'"' && next != u'`' && next != u'$' && next != u'\\')
                        return std::nullopt;
                    arg.text += next;
                    i += 2;
                    continue;
                }
                if (c == u'`' || c == u'$')
                    return std::nullopt;
                arg.text += c;
                ++i;
            }
            if (i < n && exec[i] != u' ')
                return std::nullopt; // text glued to a closing quote
        } else {
            while (i < n && exec[i] != u' ') {
                if (IsReservedUnquoted(exec[i]))
                    return std::nullopt;
                arg.text += exec[i];
                ++i;
            }
        }
        arg.nEnd = i;
        args.push_back(std::move(arg));
    }
    if (args.empty())
        return std::nullopt;
    return args;
}
