#pragma once

#include "platform/IProcessExit.h"

class CQtProcessExit : public IProcessExit {
public:
    void Exit(int code) override;
};
