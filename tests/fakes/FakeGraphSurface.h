#pragma once

#include "platform/IGraphSurface.h"

#include <QRect>
#include <vector>

// Records what a graph sends to the window system; binds as the test says.
class CFakeGraphSurface : public IGraphSurface {
public:
    struct Log {
        bool bindResult = true;
        int backgrounds = 0;
        int texts = 0;
        int presents = 0;
        int unflushed = 0; // presents not yet followed by a flush
        std::vector<QRect> runs; // of the last present
    };

    explicit CFakeGraphSurface(Log& log)
        : m_log(log)
    {
    }
    bool Bind(QWidget&) override { return m_log.bindResult; }
    bool SetBackground(const QImage&) override { return ++m_log.backgrounds, true; }
    bool SetTexts(const QImage&, const QPoint&) override { return ++m_log.texts, true; }
    void Present(const QRect* pRuns, int nRuns, QRgb) override
    {
        ++m_log.presents;
        ++m_log.unflushed;
        m_log.runs.assign(pRuns, pRuns + nRuns);
    }
    void Flush() override { m_log.unflushed = 0; }

private:
    Log& m_log;
};
