#pragma once

#include "platform/IDataFiles.h"

// The data directories as the XDG base directory rules give them from the environment, read
// afresh at every call; relative entries are ignored, as those rules ask.
class CXdgDataFiles : public IDataFiles {
public:
    QStringList DataDirs() override;
    std::optional<QByteArray> ReadFile(const QString& path, qint64 nMaxBytes) override;
};
