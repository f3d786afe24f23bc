#pragma once

#include "platform/ICursor.h"

class CQtCursor : public ICursor {
public:
    QPoint GetCursorPos() override;
};
