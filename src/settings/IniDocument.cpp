#include "settings/IniDocument.h"

#include <QStringDecoder>
#include <algorithm>
#include <map>

namespace {

// The bytes QSettings' INI reader treats specially: white space before a line, and what
// stops its scan of a line.
bool IsSpace(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r';
}
bool IsSpecial(char ch)
{
    return ch == '\n' || ch == '\r' || ch == '"' || ch == ';' || ch == '=' || ch == '\\';
}

int FromHex(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

int FromOct(char ch)
{
    return ch >= '0' && ch <= '7' ? ch - '0' : -1;
}

// One logical line from dataPos on: a quoted part or a backslash carries it over line ends; a
// ';' at its start makes a comment that is skipped, elsewhere (outside quotes) it ends the
// line. Returns false at the end of the text.
bool ReadIniLine(QByteArrayView data, qsizetype& dataPos, qsizetype& lineStart, qsizetype& lineLen,
    qsizetype& equalsPos)
{
    const qsizetype dataLen = data.size();
    bool bInQuotes = false;
    equalsPos = -1;
    lineStart = dataPos;
    while (lineStart < dataLen && IsSpace(data[lineStart]))
        ++lineStart;
    qsizetype i = lineStart;
    while (i < dataLen) {
        char ch = data[i];
        while (!IsSpecial(ch)) {
            if (++i == dataLen)
                goto done;
            ch = data[i];
        }
        ++i;
        if (ch == '=') {
            if (!bInQuotes && equalsPos == -1)
                equalsPos = i - 1;
        } else if (ch == '\n' || ch == '\r') {
            if (i == lineStart + 1) {
                ++lineStart;
            } else if (!bInQuotes) {
                --i;
                goto done;
            }
        } else if (ch == '\\') {
            if (i < dataLen) {
                const char escaped = data[i++];
                if (i < dataLen) {
                    const char next = data[i];
                    if ((escaped == '\n' && next == '\r') || (escaped == '\r' && next == '\n'))
                        ++i;
                }
            }
        } else if (ch == '"') {
            bInQuotes = !bInQuotes;
        } else { // ';'
            if (i == lineStart + 1) {
                while (i < dataLen && data[i] != '\n' && data[i] != '\r')
                    ++i;
                while (i < dataLen && IsSpace(data[i]))
                    ++i;
                lineStart = i;
            } else if (!bInQuotes) {
                --i;
                goto done;
            }
        }
    }
done:
    dataPos = i;
    lineLen = i - lineStart;
    return lineLen > 0;
}

// "%XX" and "%UXXXX" stand for one character, '\' for '/'.
void UnescapeKey(QByteArrayView key, QString& result)
{
    const QString decoded = QString::fromUtf8(key);
    const qsizetype size = decoded.size();
    qsizetype i = 0;
    while (i < size) {
        const char16_t ch = decoded[i].unicode();
        if (ch == u'\\') {
            result += u'/';
            ++i;
            continue;
        }
        if (ch != u'%' || i == size - 1) {
            result += QChar(ch);
            ++i;
            continue;
        }
        int nDigits = 2;
        qsizetype firstDigit = i + 1;
        if (decoded[i + 1] == u'U') {
            ++firstDigit;
            nDigits = 4;
        }
        if (firstDigit + nDigits > size) {
            result += u'%';
            ++i;
            continue;
        }
        bool bOk = false;
        const ushort code = QStringView(decoded).sliced(firstDigit, nDigits).toUShort(&bOk, 16);
        if (!bOk) {
            result += u'%';
            ++i;
            continue;
        }
        result += QChar(code);
        i = firstDigit + nDigits;
    }
}

void ChopTrailingSpaces(QString& str, qsizetype limit)
{
    qsizetype n = str.size() - 1;
    while (n >= limit && (str[n] == u' ' || str[n] == u'\t'))
        str.truncate(n--);
}

// Reads the digits of a \x or \ octal escape from i on (nBits a digit), adds the character
// they make to result and returns where the digits end.
qsizetype AddEscaped(
    QByteArrayView str, qsizetype i, int nBits, int (*digit)(char), char16_t value, QString& result)
{
    while (i < str.size() && digit(str[i]) != -1) {
        value = char16_t((value << nBits) + digit(str[i]));
        ++i;
    }
    result += QChar(value);
    return i;
}

// A value's text: C escapes, quotes that keep spaces, ',' outside quotes makes a list (which is
// no text). Returns false for a list.
bool UnescapeValue(QByteArrayView str, QString& result)
{
    static const char kEscapes[][2] = { { 'a', '\a' }, { 'b', '\b' }, { 'f', '\f' }, { 'n', '\n' },
        { 'r', '\r' }, { 't', '\t' }, { 'v', '\v' }, { '"', '"' }, { '?', '?' }, { '\'', '\'' },
        { '\\', '\\' } };
    bool bInQuotes = false;
    bool bQuoted = false;
    char16_t escapeVal = 0;
    qsizetype i = 0;
    char ch = 0;
    qsizetype chopLimit = 0;
    QStringDecoder fromUtf8(QStringDecoder::Utf8);

skipSpaces:
    while (i < str.size() && ((ch = str[i]) == ' ' || ch == '\t'))
        ++i;
normal:
    chopLimit = result.size();
    while (i < str.size()) {
        switch (str[i]) {
        case '\\': {
            ++i;
            if (i >= str.size())
                goto end;
            ch = str[i++];
            for (const auto& escape : kEscapes) {
                if (ch == escape[0]) {
                    result += QLatin1Char(escape[1]);
                    goto normal;
                }
            }
            if (ch == 'x') {
                escapeVal = 0;
                if (i >= str.size())
                    goto end;
                if (FromHex(str[i]) != -1)
                    goto hexEscape;
            } else if (const int o = FromOct(ch); o != -1) {
                escapeVal = char16_t(o);
                goto octEscape;
            } else if (ch == '\n' || ch == '\r') {
                if (i < str.size()) {
                    const char next = str[i];
                    if ((next == '\n' || next == '\r') && next != ch)
                        ++i;
                }
            }
            chopLimit = result.size();
            break;
        }
        case '"':
            ++i;
            bQuoted = true;
            bInQuotes = !bInQuotes;
            if (!bInQuotes)
                goto skipSpaces;
            break;
        case ',':
            if (!bInQuotes)
                return false;
            [[fallthrough]];
        default: {
            qsizetype j = i + 1;
            while (j < str.size()) {
                ch = str[j];
                if (ch == '\\' || ch == '"' || ch == ',')
                    break;
                ++j;
            }
            result += fromUtf8(str.sliced(i, j - i));
            i = j;
        }
        }
    }
    if (!bQuoted)
        ChopTrailingSpaces(result, chopLimit);
    goto end;

hexEscape:
    i = AddEscaped(str, i, 4, FromHex, escapeVal, result);
    if (i >= str.size())
        goto end;
    goto normal;

octEscape:
    i = AddEscaped(str, i, 3, FromOct, escapeVal, result);
    if (i >= str.size())
        goto end;
    goto normal;

end:
    return true;
}

qsizetype CountArgs(const QString& s, qsizetype open)
{
    qsizetype n = 0;
    for (qsizetype i = open + 1; i < s.size(); ++i)
        if (s[i] == u')' || s[i] == u' ')
            ++n;
    return n;
}

// QSettings turns "@..." texts into other kinds of values; only what stays a text is one. A
// serialized payload (@Variant, @DateTime, @ByteArray) is never decoded: the program stores
// only integers and plain texts, and a payload's length fields may claim gigabytes.
std::optional<QString> TextOf(const QString& s)
{
    if (!s.startsWith(u'@'))
        return s;
    if (s.endsWith(u')')) {
        if (s.startsWith(QLatin1String("@ByteArray(")) || s.startsWith(QLatin1String("@Variant("))
            || s.startsWith(QLatin1String("@DateTime(")))
            return std::nullopt;
        if (s.startsWith(QLatin1String("@String(")))
            return s.sliced(8).chopped(1);
        if (s.startsWith(QLatin1String("@Rect(")) && CountArgs(s, 5) == 4)
            return std::nullopt;
        if ((s.startsWith(QLatin1String("@Size(")) && CountArgs(s, 5) == 2)
            || (s.startsWith(QLatin1String("@Point(")) && CountArgs(s, 6) == 2))
            return std::nullopt;
        if (s == QLatin1String("@Invalid()"))
            return std::nullopt;
    }
    if (s.startsWith(QLatin1String("@@")))
        return s.sliced(1);
    return s;
}

} // namespace

CIniDocument::CIniDocument(QByteArray bytes)
    : m_bytes(std::move(bytes))
{
    Parse();
}

void CIniDocument::Parse()
{
    const QByteArrayView data(m_bytes);
    qsizetype pos = 0, lineStart = 0, lineLen = 0, equalsPos = 0;
    QString section;
    // QSettings looks for the first group header past a UTF-8 byte order mark but parses the
    // keys before it from the first byte: a mark before a header is a line without '=' there,
    // a mark before a key is part of the key.
    if (data.startsWith("\xef\xbb\xbf")) {
        qsizetype afterMark = 3;
        if (ReadIniLine(data, afterMark, lineStart, lineLen, equalsPos) && data[lineStart] == '[') {
            m_bBroken = true;
            m_lines.push_back({ ELine::Broken, 0, 3, 0, section, {} });
            pos = 3;
        }
    }
    while (ReadIniLine(data, pos, lineStart, lineLen, equalsPos)) {
        const qsizetype lineEnd = lineStart + lineLen;
        if (data[lineStart] == '[') {
            const qsizetype close = m_bytes.indexOf(']', lineStart);
            const bool bBroken = close == -1 || close >= lineEnd;
            const QByteArray name
                = m_bytes.mid(lineStart + 1, (bBroken ? lineEnd : close) - lineStart - 1).trimmed();
            section.clear();
            if (name.compare("general", Qt::CaseInsensitive) != 0) {
                if (name.compare("%general", Qt::CaseInsensitive) == 0)
                    section = QString::fromLatin1(name.sliced(1));
                else
                    UnescapeKey(name, section);
                section += u'/';
            }
            m_bBroken |= bBroken;
            m_lines.push_back({ bBroken ? ELine::BrokenHeader : ELine::Header, lineStart, lineEnd,
                0, section, {} });
            continue;
        }
        if (equalsPos == -1) {
            m_bBroken = true;
            m_lines.push_back({ ELine::Broken, lineStart, lineEnd, 0, section, {} });
            continue;
        }
        // Files written by other INI writers may have white space before '='.
        qsizetype keyEnd = equalsPos;
        while (keyEnd > lineStart && (data[keyEnd - 1] == ' ' || data[keyEnd - 1] == '\t'))
            --keyEnd;
        QString fullKey = section;
        UnescapeKey(data.sliced(lineStart, keyEnd - lineStart), fullKey);
        m_lines.push_back({ ELine::Entry, lineStart, lineEnd, equalsPos + 1, section, fullKey });
    }

    // QSettings reads group by group in the order of the groups' names, each in file order, and
    // the last value read for a key wins ("Settings\x=1" under [General] is read before
    // [Settings]).
    std::vector<size_t> entries;
    for (size_t i = 0; i < m_lines.size(); ++i)
        if (m_lines[i].kind == ELine::Entry)
            entries.push_back(i);
    std::stable_sort(entries.begin(), entries.end(),
        [this](size_t a, size_t b) { return m_lines[a].section < m_lines[b].section; });
    m_winner.reserve(qsizetype(entries.size()));
    for (size_t i : entries)
        m_winner.insert(m_lines[i].fullKey, i);
}

QString CIniDocument::FullKey(const QString& section, const QString& key)
{
    // As QSettings normalises a key: no empty parts between slashes, none at either end.
    const QString joined = section + u'/' + key;
    QString result;
    result.reserve(joined.size());
    for (const QChar ch : joined) {
        if (ch == u'/' && (result.isEmpty() || result.endsWith(u'/')))
            continue;
        result += ch;
    }
    if (result.endsWith(u'/'))
        result.chop(1);
    return result;
}

QByteArrayView CIniDocument::RawValue(const Line& line) const
{
    return QByteArrayView(m_bytes).sliced(line.valueBegin, line.end - line.valueBegin);
}

std::optional<QString> CIniDocument::StringValue(const QString& section, const QString& key) const
{
    const auto it = m_winner.constFind(FullKey(section, key));
    if (it == m_winner.cend())
        return std::nullopt;
    QString text;
    if (!UnescapeValue(RawValue(m_lines[*it]), text))
        return std::nullopt;
    return TextOf(text);
}

QByteArray CIniDocument::EscapedKey(const QString& key)
{
    static const char kHex[] = "0123456789ABCDEF";
    QByteArray result;
    result.reserve(key.size());
    for (const QChar qch : key) {
        uint ch = qch.unicode();
        if (ch == '/') {
            result += '\\';
        } else if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')
            || ch == '_' || ch == '-' || ch == '.') {
            result += char(ch);
        } else if (ch <= 0xFF) {
            result += '%';
            result += kHex[ch / 16];
            result += kHex[ch % 16];
        } else {
            result += "%U";
            char code[4];
            for (int j = 3; j >= 0; --j, ch >>= 4)
                code[j] = kHex[ch % 16];
            result.append(code, 4);
        }
    }
    return result;
}

QByteArray CIniDocument::EscapedString(const QString& value)
{
    // A text starting with '@' would be taken for a typed value: QSettings doubles the '@', and
    // marks a text holding a null character as one.
    const QString str = value.contains(QChar::Null) ? QStringLiteral("@String(") + value + u')'
        : value.startsWith(u'@')                    ? u'@' + value
                                                    : value;
    QByteArray result;
    result.reserve(str.size());
    bool bNeedsQuotes = false;
    bool bEscapeNextIfDigit = false;
    for (const QChar qch : str) {
        const uint ch = qch.unicode();
        if (ch == ';' || ch == ',' || ch == '=')
            bNeedsQuotes = true;
        if (bEscapeNextIfDigit && FromHex(char(ch)) != -1 && ch < 0x80) {
            result += "\\x" + QByteArray::number(ch, 16);
            continue;
        }
        bEscapeNextIfDigit = false;
        switch (ch) {
        case '\0':
            result += "\\0";
            bEscapeNextIfDigit = true;
            break;
        case '\a':
            result += "\\a";
            break;
        case '\b':
            result += "\\b";
            break;
        case '\f':
            result += "\\f";
            break;
        case '\n':
            result += "\\n";
            break;
        case '\r':
            result += "\\r";
            break;
        case '\t':
            result += "\\t";
            break;
        case '\v':
            result += "\\v";
            break;
        case '"':
        case '\\':
            result += '\\';
            result += char(ch);
            break;
        default:
            if (ch <= 0x1F) {
                result += "\\x" + QByteArray::number(ch, 16);
                bEscapeNextIfDigit = true;
            } else {
                result += QStringView(&qch, 1).toUtf8();
            }
        }
    }
    if (bNeedsQuotes || result.startsWith(' ') || result.endsWith(' ')) {
        result.prepend('"');
        result += '"';
    }
    return result;
}

QByteArray CIniDocument::Header(const QString& section)
{
    QString name = section;
    if (name.endsWith(u'/'))
        name.chop(1);
    if (section.isEmpty())
        return "[General]";
    if (name.compare(QLatin1String("general"), Qt::CaseInsensitive) == 0)
        return "[%" + name.toLatin1() + ']';
    return '[' + EscapedKey(name) + ']';
}

std::optional<CIniDocument::Edit> CIniDocument::WithValues(
    const QString& section, const std::vector<ProfileValue>& values) const
{
    QHash<QString, QString> texts; // full key -> new text; a key given twice keeps its last
    for (const ProfileValue& v : values) {
        const int32_t* pn = std::get_if<int32_t>(&v.value);
        texts.insert(
            FullKey(section, v.key), pn ? QString::number(*pn) : std::get<QString>(v.value));
    }
    if (std::optional<CIniDocument> again = ReadsBack(Edited(texts, section), texts, true))
        return Edit { std::move(*again), m_bBroken };
    if (std::optional<CIniDocument> again = ReadsBack(Canonical(texts), texts, false))
        return Edit { std::move(*again), true };
    return std::nullopt;
}

QByteArray CIniDocument::Edited(const QHash<QString, QString>& values, const QString& section) const
{
    // The end of line at pos, if there is one: "\r\n", "\n\r", "\n" or "\r".
    const auto endOfLine = [this](qsizetype pos) -> QByteArrayView {
        if (pos >= m_bytes.size() || (m_bytes[pos] != '\n' && m_bytes[pos] != '\r'))
            return {};
        const bool bPair = pos + 1 < m_bytes.size()
            && (m_bytes[pos + 1] == '\n' || m_bytes[pos + 1] == '\r')
            && m_bytes[pos + 1] != m_bytes[pos];
        return QByteArrayView(m_bytes).sliced(pos, bPair ? 2 : 1);
    };

    std::vector<Splice> splices;
    for (const Line& line : m_lines) {
        if (line.kind == ELine::Broken)
            splices.push_back({ line.begin, line.end + endOfLine(line.end).size(), {} });
        else if (line.kind == ELine::BrokenHeader)
            splices.push_back({ line.begin, line.end, Header(line.section) });
    }

    // Keys already there get their new text in place; new ones go to the end of the group, in
    // QSettings' order (sorted by name).
    std::map<QString, QByteArray> added;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const auto winner = m_winner.constFind(it.key());
        if (winner != m_winner.cend()) {
            const Line& line = m_lines[*winner];
            splices.push_back({ line.valueBegin, line.end, EscapedString(it.value()) });
        } else {
            const QString key
                = it.key().sliced(section.isEmpty() ? 0 : FullKey(section, {}).size() + 1);
            added.emplace(key, EscapedKey(key) + '=' + EscapedString(it.value()));
        }
    }
    if (added.empty())
        return Spliced(splices);
    const auto block = [&added](QByteArrayView eol) {
        QByteArray text;
        for (const auto& [key, line] : added) {
            text += line;
            text += eol;
        }
        return text;
    };

    // After the last line of the group's last block (or its header), past any comment, and
    // ended the way that line is ended.
    const QString prefix = section.isEmpty() ? QString() : FullKey(section, {}) + u'/';
    qsizetype after = -1;
    bool bInGroup = prefix.isEmpty();
    for (const Line& line : m_lines) {
        if (line.kind == ELine::Header || line.kind == ELine::BrokenHeader)
            bInGroup = line.section == prefix;
        if (bInGroup)
            after = line.end;
    }
    if (prefix.isEmpty() && after == -1) {
        splices.push_back({ 0, 0, block("\n") });
    } else if (after == -1) {
        QByteArray text;
        if (!m_bytes.isEmpty())
            text = m_bytes.endsWith('\n') || m_bytes.endsWith('\r') ? "\n" : "\n\n";
        splices.push_back(
            { m_bytes.size(), m_bytes.size(), text + Header(prefix) + '\n' + block("\n") });
    } else {
        qsizetype eol = after;
        while (eol < m_bytes.size() && m_bytes[eol] != '\n' && m_bytes[eol] != '\r')
            ++eol;
        const QByteArrayView ending = endOfLine(eol);
        if (ending.isEmpty())
            splices.push_back({ eol, eol, '\n' + block("\n") });
        else
            splices.push_back({ eol + ending.size(), eol + ending.size(), block(ending) });
    }
    return Spliced(splices);
}

QByteArray CIniDocument::Spliced(std::vector<Splice> splices) const
{
    std::stable_sort(splices.begin(), splices.end(),
        // An insertion goes before a replacement that starts at the same byte (new keys at
        // the end of a group come before the header of the next).
        [](const Splice& a, const Splice& b) {
            return a.begin != b.begin ? a.begin < b.begin : a.end < b.end;
        });
    QByteArray result;
    result.reserve(m_bytes.size() + 256);
    qsizetype pos = 0;
    for (const Splice& s : splices) {
        if (s.begin < pos)
            return {}; // overlapping edits: no text, so the caller's check refuses it
        result += QByteArrayView(m_bytes).sliced(pos, s.begin - pos);
        result += s.text;
        pos = s.end;
    }
    result += QByteArrayView(m_bytes).sliced(pos);
    return result;
}

QByteArray CIniDocument::Canonical(const QHash<QString, QString>& values) const
{
    // QSettings' own layout: groups and keys sorted by name, root keys under [General], texts
    // escaped afresh. Another kind of value is kept as it was written unless it spans lines.
    std::map<QString, std::map<QString, QByteArray>> groups;
    const auto put = [&groups](const QString& fullKey, QByteArray raw) {
        const qsizetype slash = fullKey.indexOf(u'/');
        const QString group = slash == -1 ? QString() : fullKey.first(slash + 1);
        groups[group][fullKey.sliced(group.size())] = std::move(raw);
    };
    for (auto it = m_winner.cbegin(); it != m_winner.cend(); ++it) {
        // A name ending in '/' would be written with a '\\' that escapes its '='.
        if (it.key().endsWith(u'/'))
            continue;
        const QByteArrayView raw = RawValue(m_lines[*it]);
        QString text;
        const std::optional<QString> str
            = UnescapeValue(raw, text) ? TextOf(text) : std::optional<QString>();
        if (str)
            put(it.key(), EscapedString(*str));
        else if (!raw.contains('"') && !raw.contains('\n') && !raw.contains('\r')
            && !raw.endsWith('\\'))
            put(it.key(), raw.toByteArray());
    }
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        put(it.key(), EscapedString(it.value()));
    QByteArray result;
    for (const auto& [group, keys] : groups) {
        if (!result.isEmpty())
            result += '\n';
        result += Header(group) + '\n';
        for (const auto& [key, raw] : keys)
            result += EscapedKey(key) + '=' + raw + '\n';
    }
    return result;
}

std::optional<CIniDocument> CIniDocument::ReadsBack(
    QByteArray bytes, const QHash<QString, QString>& values, bool bKeepsOthers) const
{
    CIniDocument again(std::move(bytes));
    if (again.IsBroken())
        return std::nullopt;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const auto winner = again.m_winner.constFind(it.key());
        if (winner == again.m_winner.cend())
            return std::nullopt;
        QString text;
        if (!UnescapeValue(again.RawValue(again.m_lines[*winner]), text)
            || TextOf(text) != it.value())
            return std::nullopt;
    }
    if (!bKeepsOthers)
        return again;
    // Every other key keeps its value text.
    for (auto it = m_winner.cbegin(); it != m_winner.cend(); ++it) {
        if (values.contains(it.key()))
            continue;
        const auto winner = again.m_winner.constFind(it.key());
        if (winner == again.m_winner.cend()
            || again.RawValue(again.m_lines[*winner]) != RawValue(m_lines[*it]))
            return std::nullopt;
    }
    const qsizetype nAdded = std::count_if(values.keyBegin(), values.keyEnd(),
        [this](const QString& key) { return !m_winner.contains(key); });
    if (again.m_winner.size() != m_winner.size() + nAdded)
        return std::nullopt;
    return again;
}
