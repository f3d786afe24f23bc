#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// The freedesktop data directories and the files in them.
class IDataFiles {
public:
    virtual ~IDataFiles() = default;
    // Most important first: $XDG_DATA_HOME (or ~/.local/share), then each of $XDG_DATA_DIRS
    // (or /usr/local/share and /usr/share).
    virtual QStringList DataDirs() = 0;
    // The whole file, or nothing when it cannot be read or holds more than nMaxBytes.
    virtual std::optional<QByteArray> ReadFile(const QString& path, qint64 nMaxBytes) = 0;
};
