#include "tray/MainDlg.h"
#include "ResourceIds.h"
#include "dialogs/AboutDlg.h"
#include "dialogs/SettingsDlg.h"
#include "display/TrafficWnd.h"
#include "support/AppFixture.h"

#include <gtest/gtest.h>

namespace {

class MainDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fx.Start();
        main = fx.App().m_pMainDlg;
        wnd = fx.App().m_pTrafficWnd;
    }

    long Notify(uintptr_t id, uintptr_t mouse)
    {
        return main->OnTrayNotification(WM_TRAY_CALLBACK, id, mouse);
    }

    static std::vector<QString> Texts(const std::vector<PopupMenuItem>& items)
    {
        std::vector<QString> texts;
        for (const auto& item : items)
            texts.push_back(item.separator ? QStringLiteral("-") : item.text);
        return texts;
    }

    CAppFixture fx;
    CMainDlg* main = nullptr;
    CTrafficWnd* wnd = nullptr;
};

} // namespace

TEST_F(MainDlgTest, IsTheTrayIconsReceiverAndStaysHidden)
{
    EXPECT_EQ(fx.area.calls.at(0).record.hWnd, static_cast<ITrayReceiver*>(main));
    EXPECT_FALSE(main->isVisible());
}

TEST_F(MainDlgTest, ANotificationForAnotherIconDoesNothing)
{
    EXPECT_EQ(Notify(134, WM_LBUTTONUP), 0);
    EXPECT_TRUE(wnd->isVisible());
    EXPECT_EQ(main->OnTrayNotification(0x8617, IDR_TRAYMENU, WM_LBUTTONUP), 0);
    EXPECT_TRUE(wnd->isVisible());
}

TEST_F(MainDlgTest, LeftButtonReleaseTogglesTheTrafficWindow)
{
    EXPECT_EQ(Notify(IDR_TRAYMENU, WM_LBUTTONUP), 1);
    EXPECT_FALSE(wnd->isVisible());
    EXPECT_EQ(Notify(IDR_TRAYMENU, 0x10000 | WM_LBUTTONUP), 1) << "only the low 16 bits count";
    EXPECT_TRUE(wnd->isVisible());
    EXPECT_FALSE(wnd->isMinimized());
}

TEST_F(MainDlgTest, PressesDoubleClicksAndTheMiddleButtonDoNothing)
{
    for (uintptr_t mouse : { 0x201u, 0x204u, WM_LBUTTONDBLCLK, WM_MBUTTONUP, 0x200u }) {
        EXPECT_EQ(Notify(IDR_TRAYMENU, mouse), 1);
        EXPECT_TRUE(wnd->isVisible());
    }
    EXPECT_TRUE(fx.shell.menus.empty());
}

TEST_F(MainDlgTest, TheTrayMenuOffersExactlyOneOfShowAndHideAndIsLoadedAfresh)
{
    fx.shell.cursor = QPoint(700, 10);
    EXPECT_EQ(Notify(IDR_TRAYMENU, WM_RBUTTONUP), 1);
    EXPECT_EQ(Texts(fx.shell.menus.at(0)),
        (std::vector<QString> { "Hide", "&Settings", "&About", "-", "E&xit" }));
    EXPECT_EQ(fx.shell.menuPositions.at(0), QPoint(700, 10));

    wnd->hide();
    Notify(IDR_TRAYMENU, WM_RBUTTONUP);
    EXPECT_EQ(Texts(fx.shell.menus.at(1)),
        (std::vector<QString> { "&Show", "&Settings", "&About", "-", "E&xit" }));
    wnd->show();
    Notify(IDR_TRAYMENU, WM_RBUTTONUP);
    EXPECT_EQ(fx.shell.menus.at(2).size(), 5u);
    EXPECT_EQ(fx.shell.menus.at(2)[0].id, ID_APP_HIDE);
}

TEST_F(MainDlgTest, TheTrayMenusCommandsReachTheApplicationObject)
{
    fx.shell.menuChoice = ID_APP_HIDE;
    Notify(IDR_TRAYMENU, WM_RBUTTONUP);
    EXPECT_FALSE(wnd->isVisible());
    fx.shell.menuChoice = ID_APP_SHOW;
    Notify(IDR_TRAYMENU, WM_RBUTTONUP);
    EXPECT_TRUE(wnd->isVisible());
    fx.shell.menuChoice = ID_APP_SETTINGS;
    Notify(IDR_TRAYMENU, WM_RBUTTONUP);
    EXPECT_TRUE(fx.App().SettingsDlg().isVisible());
    fx.shell.menuChoice = ID_APP_ABOUT;
    Notify(IDR_TRAYMENU, WM_RBUTTONUP);
    EXPECT_TRUE(fx.App().AboutDlg().isVisible());

    fx.store.writes.clear();
    fx.shell.menuChoice = ID_APP_EXIT;
    Notify(IDR_TRAYMENU, WM_RBUTTONUP);
    EXPECT_EQ(fx.shell.exitCodes, std::vector<int> { 0 });
    ASSERT_EQ(fx.store.writes.size(), 4u) << "Exit stores the rectangle and nothing else";
    EXPECT_EQ(fx.store.writes[0].key, QStringLiteral("rect.left"));
    EXPECT_EQ(fx.store.writes[3].key, QStringLiteral("rect.bottom"));
}

TEST_F(MainDlgTest, OnlyCommandsInTheApplicationsRangeTravelOn)
{
    EXPECT_FALSE(main->OnCommand(ID_WND_SETTINGS)); // 2001 is the traffic window's own
    EXPECT_FALSE(main->OnCommand(0xF000));
    EXPECT_FALSE(main->OnCommand(0x8000)); // in range, but nobody handles it
    EXPECT_FALSE(fx.App().SettingsDlg().isVisible());
    EXPECT_TRUE(main->OnCommand(ID_APP_SETTINGS));
}

TEST(MainDlgWindowIcon, NamesTheSizesUpTo64PixelsOnly)
{
    QIcon drawn;
    for (const int size : { 16, 64, 128, 256 }) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::red);
        drawn.addPixmap(pixmap);
    }
    EXPECT_EQ(
        CMainDlg::WindowIcon(drawn).availableSizes(), (QList<QSize> { { 16, 16 }, { 64, 64 } }));
    QPixmap large(128, 128);
    large.fill(Qt::red);
    // An icon drawn only large is kept as it is, rather than no icon at all.
    EXPECT_EQ(CMainDlg::WindowIcon(QIcon(large)).availableSizes(), (QList<QSize> { { 128, 128 } }));
}

TEST(MainDlgMissingMenu, ARightClickWithoutTheMenuResourceShowsNothingAndAnswersZero)
{
    CAppFixture fx;
    fx.resources.missing = { IDR_TRAYMENU };
    CTrafficApp& app = fx.Start();
    EXPECT_EQ(app.m_pMainDlg->OnTrayNotification(WM_TRAY_CALLBACK, IDR_TRAYMENU, WM_RBUTTONUP), 0);
    EXPECT_TRUE(fx.shell.menus.empty());
}
