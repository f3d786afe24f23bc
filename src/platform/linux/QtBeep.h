#pragma once

#include "platform/IBeep.h"

class CQtBeep : public IBeep {
public:
    void MessageBeep() override;
};
