#include "tray/SystemTray.h"
#include "fakes/FakeNotifyArea.h"
#include "fakes/FakeResources.h"
#include "fakes/FakeTrayReceiver.h"

#include "ResourceIds.h"

#include <QString>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>

namespace {

using Messages = std::vector<std::string>;

bool AllZero(const char* p, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (p[i] != 0)
            return false;
    return true;
}

class SystemTrayTest : public ::testing::Test {
protected:
    SystemTrayTest()
    {
        icons.colours = { { IDI_IDLE, Qt::darkGray }, { IDI_RECEIVE, Qt::green },
            { IDI_SEND, Qt::red }, { IDI_BOTH, Qt::yellow } };
    }

    // The tray as the application makes it at start-up.
    CSystemTray& Create(bool bStateSupported = true)
    {
        area.stateSupported = bStateSupported;
        tray = std::make_unique<CSystemTray>(area, icons);
        tray->CreateFromResource(&receiver, WM_TRAY_CALLBACK, "Corvane by Mirelda", IDI_IDLE,
            IDR_TRAYMENU, false, {}, {}, 0, 10);
        return *tray;
    }

    // Brings the tray from Shown to Hidden: a work-area change whose re-add is refused.
    void HideByRefusedReadd()
    {
        area.answers = { false };
        tray->OnSettingChange(SPI_SETWORKAREA);
        ASSERT_TRUE(tray->m_bIconHidden);
        ASSERT_FALSE(tray->m_bIconGone);
        area.calls.clear();
    }

    const NotifyIconData& Last() const { return area.calls.back().record; }

    CFakeNotifyArea area;
    CFakeResources icons;
    CFakeTrayReceiver receiver;
    std::unique_ptr<CSystemTray> tray;
};

TEST_F(SystemTrayTest, StartUpAddsOnceWithTheFullRecordAndNoBalloon)
{
    CSystemTray& t = Create();
    ASSERT_EQ(area.Messages(), Messages { "add" });
    const NotifyIconData& r = Last();
    EXPECT_EQ(r.cbSize, 488u);
    EXPECT_EQ(r.hWnd, &receiver);
    EXPECT_EQ(r.uID, 133u);
    EXPECT_EQ(r.uCallbackMessage, 0x8616u);
    EXPECT_EQ(r.uFlags, 7u);
    EXPECT_EQ(r.hIcon.cacheKey(), icons.loadedKeys.at(0));
    EXPECT_EQ(icons.loaded, std::vector<uint16_t> { 135 });
    EXPECT_STREQ(r.szTip, "Corvane by Mirelda");
    EXPECT_EQ(r.dwState, 0u);
    EXPECT_EQ(r.dwStateMask, 0u);
    EXPECT_TRUE(AllZero(r.szInfo, sizeof(r.szInfo)));
    EXPECT_TRUE(AllZero(r.szInfoTitle, sizeof(r.szInfoTitle)));
    EXPECT_EQ(r.uTimeout, 0u);
    EXPECT_EQ(r.dwInfoFlags, 0u);
    EXPECT_FALSE(t.m_bIconHidden);
    EXPECT_FALSE(t.m_bIconGone);
    EXPECT_FALSE(t.m_bReaddPending);
    EXPECT_EQ(t.m_uAddFlags, 7u);
    EXPECT_NE(area.listener, nullptr);
}

TEST_F(SystemTrayTest, UnusableShellIsNeverTalkedTo)
{
    area.shellUsable = false;
    {
        CSystemTray t(area, icons);
        EXPECT_FALSE(t.CreateFromResource(&receiver, WM_TRAY_CALLBACK, "tip", IDI_IDLE, 133));
        EXPECT_FALSE(t.ChangeIcon(icons.LoadIcon(IDI_SEND)));
        EXPECT_FALSE(t.MakeVisible());
        EXPECT_FALSE(t.AddAgain());
        EXPECT_TRUE(t.RemoveFromTray());
        EXPECT_EQ(area.listener, nullptr); // no own window, so no broadcasts
    }
    EXPECT_TRUE(area.calls.empty());
}

TEST_F(SystemTrayTest, RefusedFirstAddIsMadeGoodAtTheNextActivityChange)
{
    area.answers = { false };
    CSystemTray& t = Create();
    EXPECT_TRUE(t.m_bIconGone && t.m_bIconHidden && t.m_bReaddPending);

    // What the traffic window does when the activity changes: ChangeIcon, then MakeVisible.
    const QIcon sending = icons.LoadIcon(IDI_SEND);
    EXPECT_TRUE(t.ChangeIcon(sending)); // hidden: stored, not sent
    EXPECT_EQ(area.Messages(), Messages { "add" });
    EXPECT_TRUE(t.MakeVisible());
    ASSERT_EQ(area.Messages(), (Messages { "add", "add" })); // gone: no delete before the add
    EXPECT_EQ(Last().uFlags, 7u);
    EXPECT_EQ(Last().hIcon.cacheKey(), sending.cacheKey());
    EXPECT_FALSE(t.m_bIconHidden || t.m_bIconGone);
}

TEST_F(SystemTrayTest, RefusedAddAgainKeepsTheIconAbsentWithAReaddPending)
{
    area.answers = { false, false };
    CSystemTray& t = Create();
    EXPECT_FALSE(t.MakeVisible());
    EXPECT_TRUE(t.m_bIconGone && t.m_bIconHidden && t.m_bReaddPending);
    EXPECT_TRUE(t.MakeVisible());
    EXPECT_EQ(area.Messages(), (Messages { "add", "add", "add" }));
    EXPECT_FALSE(t.m_bIconGone);
}

TEST_F(SystemTrayTest, ShownIconGetsEveryImageChange)
{
    CSystemTray& t = Create();
    const QIcon both = icons.LoadIcon(IDI_BOTH);
    EXPECT_TRUE(t.ChangeIcon(both));
    ASSERT_EQ(area.Messages(), (Messages { "add", "modify" }));
    EXPECT_EQ(Last().uFlags, NIF_ICON);
    EXPECT_EQ(Last().hIcon.cacheKey(), both.cacheKey());

    area.answers = { false };
    EXPECT_FALSE(t.ChangeIcon(icons.LoadIcon(IDI_IDLE))); // the refusal is passed on...
    EXPECT_FALSE(t.m_bIconHidden); // ...and changes no state
    EXPECT_FALSE(t.m_bIconGone);
}

TEST_F(SystemTrayTest, RefusedReaddAfterAWorkAreaChangeHidesUntilMakeVisible)
{
    CSystemTray& t = Create();
    area.calls.clear();
    area.answers = { false };
    t.OnSettingChange(SPI_SETWORKAREA);
    ASSERT_EQ(area.Messages(), Messages { "add" });
    EXPECT_EQ(Last().uFlags, 7u);
    EXPECT_TRUE(t.m_bIconHidden);
    EXPECT_FALSE(t.m_bIconGone);
    EXPECT_TRUE(t.m_bReaddPending);

    // While hidden the image is kept but not sent.
    const QIcon receiving = icons.LoadIcon(IDI_RECEIVE);
    area.calls.clear();
    EXPECT_TRUE(t.ChangeIcon(receiving));
    EXPECT_TRUE(area.calls.empty());
    EXPECT_EQ(t.m_record.hIcon.cacheKey(), receiving.cacheKey());

    // A state-supporting area gets only the state; its refusal is ignored.
    area.answers = { false };
    EXPECT_TRUE(t.MakeVisible());
    ASSERT_EQ(area.Messages(), Messages { "modify" });
    EXPECT_EQ(Last().uFlags, NIF_STATE);
    EXPECT_EQ(Last().dwState, 0u);
    EXPECT_EQ(Last().dwStateMask, NIS_HIDDEN);
    EXPECT_FALSE(t.m_bIconHidden);

    // The stored image reaches the area with the next change.
    const QIcon both = icons.LoadIcon(IDI_BOTH);
    EXPECT_TRUE(t.ChangeIcon(both));
    EXPECT_EQ(Last().uFlags, NIF_ICON);
    EXPECT_EQ(Last().hIcon.cacheKey(), both.cacheKey());
}

TEST_F(SystemTrayTest, WithoutStateSupportMakeVisibleDeletesAndAddsAgain)
{
    CSystemTray& t = Create(false);
    HideByRefusedReadd();
    const QIcon sending = icons.LoadIcon(IDI_SEND);
    t.ChangeIcon(sending);
    EXPECT_TRUE(t.MakeVisible());
    ASSERT_EQ(area.Messages(), (Messages { "delete", "add" }));
    EXPECT_EQ(area.calls[0].record.uFlags, 0u);
    EXPECT_EQ(area.calls[1].record.uFlags, 7u);
    EXPECT_EQ(area.calls[1].record.hIcon.cacheKey(), sending.cacheKey());
    EXPECT_FALSE(t.m_bIconHidden || t.m_bIconGone || t.m_bReaddPending);
}

TEST_F(SystemTrayTest, AfterTheHostRestartsTheIconReturnsWithTheLastImage)
{
    CSystemTray& t = Create();
    const QIcon both = icons.LoadIcon(IDI_BOTH);
    t.ChangeIcon(both);
    area.calls.clear();
    ASSERT_NE(area.listener, nullptr);
    EXPECT_EQ(area.listener->OnTaskbarCreated(), 0);
    ASSERT_EQ(area.Messages(), Messages { "add" });
    EXPECT_EQ(Last().uFlags, 7u);
    EXPECT_EQ(Last().hIcon.cacheKey(), both.cacheKey());
    EXPECT_STREQ(Last().szTip, "Corvane by Mirelda");
    EXPECT_FALSE(t.m_bIconHidden || t.m_bReaddPending);
}

// A hidden icon stays hidden whatever is broadcast; an add the area refused is made again as
// soon as a host appears, since a panel that starts late may otherwise never get the icon.
TEST_F(SystemTrayTest, BroadcastsAddOnlyFromShownOrARefusedAdd)
{
    struct Case {
        const char* name;
        bool bFromHidden; // else Absent
        bool bTaskbar; // else the work area
        std::vector<std::string> expected;
    };
    for (const Case& c : { Case { "absent, host restart", false, true, { "add" } },
             Case { "absent, work area", false, false, {} },
             Case { "hidden, host restart", true, true, { "add" } },
             Case { "hidden, work area", true, false, {} } }) {
        SCOPED_TRACE(c.name);
        area = CFakeNotifyArea();
        if (c.bFromHidden) {
            Create();
            HideByRefusedReadd();
        } else {
            area.answers = { false };
            Create();
            area.calls.clear();
        }
        if (c.bTaskbar)
            area.listener->OnTaskbarCreated();
        else
            area.listener->OnSettingChange(SPI_SETWORKAREA);
        EXPECT_EQ(area.Messages(), c.expected);
        tray.reset();
    }
}

TEST_F(SystemTrayTest, OtherSettingChangesLeaveTheIconAlone)
{
    CSystemTray& t = Create();
    area.calls.clear();
    t.OnSettingChange(0x2E);
    t.OnSettingChange(0);
    EXPECT_TRUE(area.calls.empty());
    EXPECT_FALSE(t.m_bReaddPending);
}

TEST_F(SystemTrayTest, DestructionDeletesAShownIconAndNothingElse)
{
    Create();
    area.calls.clear();
    tray.reset();
    ASSERT_EQ(area.Messages(), Messages { "delete" });
    EXPECT_EQ(Last().uFlags, 0u);
    EXPECT_EQ(area.listener, nullptr);

    area = CFakeNotifyArea();
    area.answers = { false };
    Create();
    area.calls.clear();
    tray.reset(); // Absent: nothing to delete
    EXPECT_TRUE(area.calls.empty());
}

TEST_F(SystemTrayTest, RefusedDeleteKeepsTheIconCounted)
{
    CSystemTray& t = Create();
    area.answers = { false };
    EXPECT_FALSE(t.RemoveFromTray());
    EXPECT_FALSE(t.m_bIconGone || t.m_bIconHidden);
    EXPECT_TRUE(t.RemoveFromTray());
    EXPECT_TRUE(t.m_bIconGone && t.m_bIconHidden);
    EXPECT_TRUE(t.RemoveFromTray()); // nothing left to do
    EXPECT_EQ(area.Messages(), (Messages { "add", "delete", "delete" }));
}

TEST_F(SystemTrayTest, SecondCreateFromResourceReleasesTheFirstIcon)
{
    CSystemTray& t = Create();
    ASSERT_EQ(icons.loadedKeys.size(), 1u);
    const qint64 first = icons.loadedKeys[0];
    EXPECT_TRUE(icons.destroyedKeys.empty());
    t.CreateFromResource(&receiver, WM_TRAY_CALLBACK, "tip", IDI_BOTH, 133);
    EXPECT_EQ(icons.destroyedKeys, std::vector<qint64> { first });
    EXPECT_EQ(t.m_hLoadedIcon.cacheKey(), icons.loadedKeys.at(1));
    EXPECT_EQ(Last().hIcon.cacheKey(), icons.loadedKeys.at(1));
    tray.reset(); // the owned icon goes with the tray
    EXPECT_EQ(icons.destroyedKeys, (std::vector<qint64> { first, icons.loadedKeys.at(1) }));
}

TEST_F(SystemTrayTest, MissingIconResourceIsSentAsNoImage)
{
    icons.missing = { IDI_IDLE };
    CSystemTray& t = Create();
    EXPECT_TRUE(Last().hIcon.isNull());
    EXPECT_FALSE(t.m_bIconGone);
}

TEST_F(SystemTrayTest, WithoutAReceiverTheIconsOwnWindowGetsTheClicks)
{
    CSystemTray t(area, icons);
    t.CreateWithIcon(nullptr, WM_TRAY_CALLBACK, "tip", QIcon(), 133);
    ASSERT_NE(Last().hWnd, nullptr);
    EXPECT_EQ(Last().hWnd->OnTrayNotification(WM_TRAY_CALLBACK, 133, WM_LBUTTONUP), 0);
}

TEST(SystemTrayTip, IsCutToAtMost127BytesAndNeverInsideACharacter)
{
    struct Case {
        const char* name;
        QString tip;
        size_t nKept; // bytes that stay
    };
    const QString a126(126, QLatin1Char('a'));
    const QString euro = QString::fromUtf8("\xE2\x82\xAC"); // 3 bytes
    const QString grin = QString::fromUtf8("\xF0\x9F\x98\x80"); // 4 bytes
    const Case cases[] = {
        { "fits", "Corvane by Mirelda", 18 },
        { "exactly 127", a126 + "b", 127 },
        { "long ASCII", QString(300, QLatin1Char('x')), 127 },
        { "2-byte char fits at the end", a126.left(125) + QString::fromUtf8("\xC3\xA9"), 127 },
        { "2-byte char would straddle", a126 + QString::fromUtf8("\xC3\xA9"), 126 },
        { "3-byte char would straddle", a126.left(125) + euro, 125 },
        { "4-byte char would straddle", a126.left(124) + grin + "z", 124 },
        { "4-byte char fits", a126.left(123) + grin, 127 },
        { "all multibyte", QString(100, QChar(0x20AC)), 126 },
        { "embedded NUL ends the tip", QString("ab") + QChar(0) + "cd", 2 },
        { "empty", QString(), 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CFakeNotifyArea area;
        CFakeResources icons;
        CSystemTray t(area, icons);
        t.CreateWithIcon(nullptr, WM_TRAY_CALLBACK, c.tip, QIcon(), 133);
        const char* szTip = t.m_record.szTip;
        EXPECT_EQ(std::strlen(szTip), c.nKept);
        EXPECT_EQ(szTip[127], 0);
        // What stays is a prefix of the text, whole characters only.
        const QByteArray kept(szTip);
        EXPECT_EQ(QString::fromUtf8(kept).toUtf8(), kept);
        EXPECT_TRUE(c.tip.toUtf8().startsWith(kept));
    }
}

} // namespace
