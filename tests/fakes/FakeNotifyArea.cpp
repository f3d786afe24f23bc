#include "fakes/FakeNotifyArea.h"

bool CFakeNotifyArea::NotifyIcon(uint32_t dwMessage, const NotifyIconData& record)
{
    calls.push_back({ dwMessage, record });
    if (answers.empty())
        return answer;
    const bool bAnswer = answers.front();
    answers.pop_front();
    return bAnswer;
}

std::vector<std::string> CFakeNotifyArea::Messages() const
{
    std::vector<std::string> names;
    for (const Call& call : calls)
        names.push_back(call.dwMessage == NIM_ADD ? "add"
                : call.dwMessage == NIM_MODIFY    ? "modify"
                : call.dwMessage == NIM_DELETE    ? "delete"
                                                  : "?");
    return names;
}
