#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>
#include <utility>
#include <vector>

// A freedesktop desktop entry file, read strictly: a file or an Exec line that breaks the
// format's rules is refused as a whole rather than guessed at, because its Exec line becomes
// a program started with our arguments.
class CDesktopEntry {
public:
    static constexpr qsizetype kMaxSize
        = 1024 * 1024; // real entries with all translations: ~100 KiB

    // One argument of an Exec line: its text with quoting undone (field codes still in it) and
    // where it stands in the line, quotes included, as [nStart, nEnd).
    struct ExecArg {
        QString text;
        qsizetype nStart = 0;
        qsizetype nEnd = 0;
    };

    // False for text that is not UTF-8, holds a NUL, is larger than kMaxSize, has a line that
    // is neither blank, comment, group header nor key=value, has keys before the first group,
    // a group twice, a key twice in [Desktop Entry], or no [Desktop Entry] group.
    bool Parse(QByteArrayView bytes);

    // The value of a key of [Desktop Entry] (no locale suffix), string escapes undone.
    std::optional<QString> GetString(QStringView key) const;

    // \s \n \t \r \\ become space, newline, tab, return and backslash; any other backslash pair
    // is kept as it is for the Exec quoting rules, which come next.
    static QString UnescapeString(QStringView raw);
    // Arguments are separated by spaces; an argument holding a reserved character must be in
    // double quotes, inside which only \" \` \$ \\ are escapes and ` and $ must be escaped.
    static std::optional<std::vector<ExecArg>> SplitExec(QStringView exec);

private:
    std::vector<std::pair<QString, QString>> m_entries; // [Desktop Entry], raw values
};
