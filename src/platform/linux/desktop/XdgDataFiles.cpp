#include "platform/linux/desktop/XdgDataFiles.h"

#include <QDir>
#include <QFile>

QStringList CXdgDataFiles::DataDirs()
{
    QStringList dirs;
    const QString strHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (QDir::isAbsolutePath(strHome))
        dirs << strHome;
    else
        dirs << QDir::homePath() + QStringLiteral("/.local/share");

    QStringList shared;
    const QStringList listed
        = qEnvironmentVariable("XDG_DATA_DIRS").split(u':', Qt::SkipEmptyParts);
    for (const QString& dir : listed) {
        if (QDir::isAbsolutePath(dir))
            shared << dir;
    }
    if (shared.isEmpty())
        shared << QStringLiteral("/usr/local/share") << QStringLiteral("/usr/share");
    return dirs + shared;
}

std::optional<QByteArray> CXdgDataFiles::ReadFile(const QString& path, qint64 nMaxBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // One byte more than allowed tells a file that is too large, without trusting its size.
    QByteArray bytes = file.read(nMaxBytes + 1);
    if (bytes.size() > nMaxBytes || file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}
