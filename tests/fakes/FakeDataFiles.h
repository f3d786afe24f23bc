#pragma once

#include "platform/IDataFiles.h"

#include <map>

// Data directories and files held in memory.
class CFakeDataFiles : public IDataFiles {
public:
    QStringList DataDirs() override { return dirs; }
    std::optional<QByteArray> ReadFile(const QString& path, qint64 nMaxBytes) override
    {
        const auto it = files.find(path);
        if (it == files.end() || it->second.size() > nMaxBytes)
            return std::nullopt;
        return it->second;
    }

    QStringList dirs { "/home/u/.local/share", "/usr/share" };
    std::map<QString, QByteArray> files;
};
