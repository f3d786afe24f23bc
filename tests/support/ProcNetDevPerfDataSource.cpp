#include "support/ProcNetDevPerfDataSource.h"

#include "platform/linux/kernel/PerfBlockWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

namespace {

// The thread's own view, so the table is that of the network namespace the constructing
// thread is in (/proc/self/net follows the process's first thread instead).
constexpr const char* kTablePath = "/proc/thread-self/net/dev";
constexpr size_t kInitialText = 16384;
// A table larger than this is not read to its end (about 100,000 interfaces).
constexpr size_t kMaxText = 16u * 1024 * 1024;

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

} // namespace

CProcNetDevPerfDataSource::CProcNetDevPerfDataSource()
    : m_file(::open(kTablePath, O_RDONLY | O_CLOEXEC))
    , m_text(kInitialText)
{
}

CProcNetDevPerfDataSource::~CProcNetDevPerfDataSource() = default;

long CProcNetDevPerfDataSource::Query(uint8_t* buffer, uint32_t& size)
{
    m_links.clear();
    if (!ReadTable() || !ParseTable(std::string_view(m_text.data(), m_length), m_links))
        return kPerfFailure;
    m_speeds.BeginPass();
    for (LinkCounters& link : m_links)
        link.bandwidth = m_speeds.Bandwidth(link.name, 0);
    m_speeds.EndPass();
    return CPerfBlockWriter::Answer(m_links, buffer, size);
}

bool CProcNetDevPerfDataSource::ReadTable()
{
    if (!m_file.IsValid())
        return false;
    m_length = 0;
    // Reading from offset 0 makes the kernel format the table afresh.
    for (;;) {
        if (m_length == m_text.size()) {
            if (m_text.size() >= kMaxText)
                return false;
            m_text.resize(m_text.size() * 2);
        }
        const ssize_t n = ::pread(
            m_file.Get(), m_text.data() + m_length, m_text.size() - m_length, off_t(m_length));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        m_length += size_t(n);
    }
}

bool CProcNetDevPerfDataSource::ParseTable(std::string_view text, std::vector<LinkCounters>& links)
{
    bool sawHeader = false;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

        if (line.find('|') != std::string_view::npos) {
            sawHeader = true;
            continue;
        }
        // The name ends at the last colon before the numbers.
        const size_t colon = line.rfind(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string_view name = Trim(line.substr(0, colon));
        if (name.empty())
            continue;
        std::string_view rest = line.substr(colon + 1);
        uint64_t fields[16];
        int count = 0;
        for (; count < 16; ++count) {
            rest = Trim(rest);
            const auto [ptr, ec]
                = std::from_chars(rest.data(), rest.data() + rest.size(), fields[count]);
            if (ec != std::errc())
                break;
            rest.remove_prefix(size_t(ptr - rest.data()));
        }
        if (count < 16)
            continue;
        LinkCounters link;
        const size_t kept
            = name.size() < sizeof(link.name) - 1 ? name.size() : sizeof(link.name) - 1;
        std::memcpy(link.name, name.data(), kept);
        link.name[kept] = '\0';
        // Receive: bytes first of eight fields; transmit: bytes first of the next eight.
        link.received = fields[0];
        link.sent = fields[8];
        links.push_back(link);
    }
    return sawHeader || !links.empty();
}
