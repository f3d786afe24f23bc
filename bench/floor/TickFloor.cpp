// The floor a 200 ms meter stands on: a timer and one counter reading per tick, nothing drawn.
// compare_conky.sh runs it beside Corvane and conky so the figures say how close a tick
// comes to the least a tick can cost.
//
//   corvane_floor poll [link]  a timerfd and poll(2), no Qt at all
//   corvane_floor qt [link]    a QCoreApplication and a QTimer
//   corvane_floor gui [link]   a QGuiApplication (the display connection and its event loop),
//                              no window
//   corvane_floor window       a QApplication showing one empty widget named "Corvane" and
//                              nothing else: the least a Qt program takes from start to window
//                              mapped
// The reading is of the named link's counters, as Corvane's (of none without a name).
#include "platform/linux/kernel/NetlinkPerfDataSource.h"
#include "traffic/PerfBlock.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstring>
#include <memory>
#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kTickMs = 200;

class CReader {
public:
    explicit CReader(const char* link)
    {
        if (!link)
            return;
        // The link's unique id, from one walk of the block.
        const uint32_t size = Read();
        const CPerfBlock block = CPerfBlock::View(m_buffer.data(), size);
        block.ForEachNetworkObject([&](CPerfBlock::Pos object) {
            block.ForEachInstance(object, [&](CPerfBlock::Pos instance) {
                char name[CPerfBlock::kNameCapacity + 1];
                size_t length = 0;
                if (!block.InstanceName(instance, name, length) || std::strcmp(name, link) != 0)
                    return false;
                m_source.Watch(block.InstanceUniqueId(instance));
                return true;
            });
            return true;
        });
    }

    uint32_t Read()
    {
        uint32_t size = uint32_t(m_buffer.size());
        while (m_source.Query(m_buffer.data(), size) == IPerfDataSource::kPerfMoreData) {
            m_buffer.resize(m_buffer.size() * 2);
            size = uint32_t(m_buffer.size());
        }
        return size;
    }

private:
    CNetlinkPerfDataSource m_source;
    std::vector<uint8_t> m_buffer = std::vector<uint8_t>(16 * 1024);
};

int RunPoll(const char* link)
{
    CReader reader(link);
    const int timer = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    if (timer < 0)
        return 1;
    itimerspec period {};
    period.it_interval.tv_nsec = kTickMs * 1000000L;
    period.it_value = period.it_interval;
    timerfd_settime(timer, 0, &period, nullptr);
    pollfd fd { timer, POLLIN, 0 };
    for (;;) {
        if (poll(&fd, 1, -1) < 0)
            continue;
        uint64_t expirations = 0;
        if (read(timer, &expirations, sizeof expirations) == sizeof expirations)
            reader.Read();
    }
}

template <class App> int RunQt(int argc, char** argv, const char* link)
{
    App app(argc, argv);
    CReader reader(link);
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&reader] { reader.Read(); });
    timer.start(kTickMs);
    return app.exec();
}

int RunWindow(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Corvane"));
    window.resize(174, 128);
    window.show();
    return app.exec();
}

} // namespace

int main(int argc, char** argv)
{
    const char* mode = argc > 1 ? argv[1] : "";
    const char* link = argc > 2 ? argv[2] : nullptr;
    if (std::strcmp(mode, "poll") == 0)
        return RunPoll(link);
    if (std::strcmp(mode, "qt") == 0)
        return RunQt<QCoreApplication>(argc, argv, link);
    if (std::strcmp(mode, "gui") == 0)
        return RunQt<QGuiApplication>(argc, argv, link);
    if (std::strcmp(mode, "window") == 0)
        return RunWindow(argc, argv);
    std::fputs("usage: corvane_floor poll|qt|gui [link] | window\n", stderr);
    return 2;
}
