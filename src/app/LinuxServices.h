#pragma once

#include "core/AppServices.h"

#include <QString>
#include <memory>

// The program's real services on Linux, made once the Qt application exists.
class CLinuxServices {
public:
    explicit CLinuxServices(const QString& strAppName);
    ~CLinuxServices();

    const AppServices& Services() const { return m_services; }

private:
    struct Parts;
    std::unique_ptr<Parts> m_pParts;
    AppServices m_services;
};
