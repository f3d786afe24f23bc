#pragma once

#include "app/Resources.h"
#include "platform/IIconLoader.h"

// Icons from the program's compiled-in resources. They are shared images: releasing one
// only drops the caller's reference.
class CResourceIconLoader : public IIconLoader {
public:
    explicit CResourceIconLoader(const CResources& resources)
        : m_resources(resources)
    {
    }
    QIcon LoadIcon(uint16_t nResourceId) override { return m_resources.LoadIcon(nResourceId); }
    void DestroyIcon(QIcon& hIcon) override { hIcon = QIcon(); }

private:
    const CResources& m_resources;
};
