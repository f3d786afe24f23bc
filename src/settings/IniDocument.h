#pragma once

#include "platform/ISettingsStore.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <optional>
#include <vector>

// The text of an INI file as QSettings (NativeFormat on Linux) writes and reads it, kept byte
// for byte. Reads resolve a key the way QSettings does: same logical lines (quotes and
// backslashes continue a line, ';' starts a comment), same key and value unescaping, same
// winner among duplicates. A write changes only the value text of the keys it sets and adds
// missing keys to their group, so comments, unknown groups and keys and their order survive.
class CIniDocument {
public:
    CIniDocument() = default;
    explicit CIniDocument(QByteArray bytes);

    const QByteArray& Bytes() const { return m_bytes; }

    // QSettings reports a format error for this text (a line without '=' that is no comment,
    // a group header without ']'); its next write would drop those lines.
    bool IsBroken() const { return m_bBroken; }

    // The value of section/key when QSettings would read it as a text; nothing when the key is
    // missing or holds a list, a serialized value (@Variant, @DateTime, @ByteArray: never
    // decoded, even where QSettings would find a text in it) or another non-text value.
    std::optional<QString> StringValue(const QString& section, const QString& key) const;

    struct Edit;
    // The file with the given values set in the section; everything else stays as it was.
    // Nothing when no text would read back the values (never for a file this class wrote).
    std::optional<Edit> WithValues(
        const QString& section, const std::vector<ProfileValue>& values) const;

    // QSettings' escaping of a key or group name, and of a text value.
    static QByteArray EscapedKey(const QString& key);
    static QByteArray EscapedString(const QString& value);

private:
    enum class ELine { Header, BrokenHeader, Entry, Broken };
    struct Line {
        ELine kind;
        qsizetype begin; // the logical line, without its end of line
        qsizetype end;
        qsizetype valueBegin; // Entry: first byte after '='
        QString section; // the group it opens or belongs to: "" or "name/"
        QString fullKey; // Entry: section + unescaped key
    };

    struct Splice {
        qsizetype begin; // bytes [begin, end) of the old text are replaced by text
        qsizetype end;
        QByteArray text;
    };

    void Parse();
    QByteArray Spliced(std::vector<Splice> splices) const;
    QByteArray Edited(const QHash<QString, QString>& values, const QString& section) const;
    QByteArray Canonical(const QHash<QString, QString>& values) const;
    // bytes parsed, when the values read back from them and (when asked) every other key keeps
    // its value text.
    std::optional<CIniDocument> ReadsBack(
        QByteArray bytes, const QHash<QString, QString>& values, bool bKeepsOthers) const;
    QByteArrayView RawValue(const Line& line) const;
    static QString FullKey(const QString& section, const QString& key);
    static QByteArray Header(const QString& section);

    QByteArray m_bytes;
    bool m_bBroken = false;
    std::vector<Line> m_lines;
    QHash<QString, size_t> m_winner; // full key -> the entry QSettings would read
};

struct CIniDocument::Edit {
    CIniDocument document; // the new text, parsed
    // Lines of the old text are gone (lines QSettings could not parse, or a text so odd that
    // the new values would not read back from an edit in place, written out afresh from what
    // could be read): the caller keeps the original elsewhere first.
    bool bLinesDropped = false;
};
