#include "dialogs/SettingsDlg.h"
#include "display/TrafficWnd.h"
#include "support/AppFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <gtest/gtest.h>

namespace {

class SettingsDlgTest : public ::testing::Test {
protected:
    void Start()
    {
        fx.SetCounters({ { u"wlan0", 0, 0 }, { u"eth0", 0, 0 }, { u"lo", 0, 0 } });
        fx.Start();
        dlg = &fx.App().SettingsDlg();
        wnd = fx.App().m_pTrafficWnd;
    }

    std::vector<QString> SavedKeys() const
    {
        std::vector<QString> keys;
        for (const auto& w : fx.store.writes)
            keys.push_back(w.key);
        return keys;
    }

    void Choose(QComboBox* list, int index)
    {
        list->setCurrentIndex(index);
        if (list == dlg->m_listDevices)
            dlg->OnDeviceSelChange();
        else
            dlg->OnScaleSelChange();
    }

    void Click(QCheckBox* box)
    {
        box->setChecked(!box->isChecked());
        if (box == dlg->m_checkTransparency)
            dlg->OnTransparencyClicked();
        else
            dlg->OnMirrorClicked();
    }

    CAppFixture fx;
    CSettingsDlg* dlg = nullptr;
    CTrafficWnd* wnd = nullptr;
};

} // namespace

TEST(SettingsDlgScale, PositionsAndScalesConvertBothWays)
{
    const int scales[] = { 5120, 10240, 20480, 51200, 102400, 307200, 512000, 1024000, 10485760,
        104857600, 1073741824 };
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(CSettingsDlg::ScaleFromIndex(i), scales[i]);
        EXPECT_EQ(CSettingsDlg::IndexFromScale(scales[i]), i);
    }
    EXPECT_EQ(CSettingsDlg::ScaleFromIndex(-1), 20);
    EXPECT_EQ(CSettingsDlg::ScaleFromIndex(11), 20) << "Fit is no fixed scale";
    EXPECT_EQ(CSettingsDlg::IndexFromScale(0), 0);
    EXPECT_EQ(CSettingsDlg::IndexFromScale(-5), 0);
    EXPECT_EQ(CSettingsDlg::IndexFromScale(10241), 2);
    EXPECT_EQ(CSettingsDlg::IndexFromScale(1024001), 8);
    EXPECT_EQ(CSettingsDlg::IndexFromScale(1073741825), 20);
}

TEST_F(SettingsDlgTest, IsBuiltFromItsTemplateHiddenWithTheControlsInPlace)
{
    Start();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Settings"));
    EXPECT_EQ(dlg->size(), QSize(360, 267));
    EXPECT_EQ(dlg->m_listScale->count(), 12);
    EXPECT_EQ(dlg->m_listScale->itemText(0), QStringLiteral("5 KB/s"));
    EXPECT_EQ(dlg->m_listScale->itemText(7), QStringLiteral("1000 KB/s"));
    EXPECT_EQ(dlg->m_listScale->itemText(8), QStringLiteral("10 MB/s"));
    EXPECT_EQ(dlg->m_listScale->itemText(10), QStringLiteral("1 GB/s"));
    EXPECT_EQ(dlg->m_listScale->itemText(11), QStringLiteral("Fit"));
    EXPECT_EQ(dlg->m_sliderFocused->minimum(), 0);
    EXPECT_EQ(dlg->m_sliderFocused->maximum(), 255);
    EXPECT_EQ(dlg->m_sliderFocused->tickPosition(), QSlider::NoTicks);
    EXPECT_FALSE(dlg->m_buttonOk->isDefault());
    EXPECT_FALSE(dlg->m_buttonOk->autoDefault());
    EXPECT_EQ(dlg->m_labelSponsor.Link(), QString::fromUtf8(CSettingsDlg::kSponsorAddress));
    EXPECT_EQ(dlg->m_labelSponsor.GetText(), QString::fromUtf8(CSettingsDlg::kSponsorName));
}

TEST_F(SettingsDlgTest, ShowSettingsListsTheInterfacesSortedWithTheirPositions)
{
    fx.Store("NetworkDevice", 2); // "lo"
    Start();
    fx.connection.route4 = "eth0";
    dlg->ShowSettings();
    ASSERT_EQ(dlg->m_listDevices->count(), 4);
    EXPECT_EQ(dlg->m_listDevices->itemText(0), QStringLiteral("Automatic (eth0)"))
        << "named with the interface it would follow";
    EXPECT_EQ(dlg->m_listDevices->itemText(1), QStringLiteral("eth0"));
    EXPECT_EQ(dlg->m_listDevices->itemData(1).toInt(), 1);
    EXPECT_EQ(dlg->m_listDevices->itemText(3), QStringLiteral("wlan0"));
    EXPECT_EQ(dlg->m_listDevices->currentText(), QStringLiteral("lo"));
    EXPECT_TRUE(dlg->isVisible());
}

TEST_F(SettingsDlgTest, AStoredScaleBetweenTwoEntriesSelectsTheNextLarger)
{
    fx.Store("GraphicScale", 30000);
    Start();
    dlg->ShowSettings();
    EXPECT_EQ(dlg->m_listScale->currentIndex(), 3);
    dlg->OnOK();
    EXPECT_EQ(fx.App().m_nGraphicScale, 51200);
    EXPECT_EQ(wnd->m_graphReceived.m_strScale, QStringLiteral("50 KB/s"));
}

TEST_F(SettingsDlgTest, OkWithoutAScaleSelectionKeepsTheStoredScale)
{
    fx.Store("GraphicScale", 2000000000);
    Start();
    dlg->ShowSettings();
    EXPECT_EQ(dlg->m_listScale->currentIndex(), -1);
    dlg->OnOK();
    EXPECT_EQ(fx.App().m_nGraphicScale, 2000000000);
    EXPECT_EQ(wnd->m_graphSent.m_nFullScale, 2000000000);
    EXPECT_EQ((fx.store.values[{ QStringLiteral("Settings"), QStringLiteral("GraphicScale") }]),
        2000000000);
}

TEST_F(SettingsDlgTest, OkWithoutChangesWritesTheSettingsAndLeavesTheGraphsHistoryAlone)
{
    Start();
    wnd->m_graphReceived.m_history[3] = 777;
    dlg->ShowSettings();
    dlg->OnOK();
    EXPECT_EQ(SavedKeys(),
        (std::vector<QString> { "NetworkDevice", "NetworkDeviceAutomatic", "GraphicScale",
            "GraphicScaleFit", "MirrorMode", "Transparent", "TransparencyFocused",
            "TransparencyUnocused" }));
    EXPECT_EQ(wnd->m_graphReceived.m_history[3], 777);
    EXPECT_FALSE(dlg->isVisible());
}

TEST_F(SettingsDlgTest, TransparencyUntickedIsOpaqueAtOnceRestoredByCloseAndKeptByOk)
{
    fx.Store("Transparent", 1);
    fx.Store("TransparencyFocused", 180);
    Start();
    dlg->ShowSettings();
    Click(dlg->m_checkTransparency);
    EXPECT_FALSE(fx.layered.styles[wnd] & 0x80000) << "opaque at once";

    dlg->OnClose();
    EXPECT_TRUE(fx.layered.styles[wnd] & 0x80000);
    EXPECT_EQ(fx.layered.alphas[wnd], 180);

    dlg->ShowSettings();
    Click(dlg->m_checkTransparency);
    dlg->OnOK();
    EXPECT_FALSE(fx.layered.styles[wnd] & 0x80000);
    EXPECT_EQ(wnd->m_bTransparent, 0);
    EXPECT_EQ((fx.store.values[{ QStringLiteral("Settings"), QStringLiteral("Transparent") }]), 0);
}

TEST_F(SettingsDlgTest, DraggingTheUnfocusedSliderPreviewsItsAlphaAndCloseBringsBackTheFocused)
{
    fx.Store("Transparent", 1);
    fx.Store("TransparencyFocused", 220);
    Start();
    dlg->ShowSettings();
    dlg->m_sliderUnfocused->setSliderPosition(90);
    dlg->OnHScroll(CSettingsDlg::SB_THUMBTRACK, dlg->m_sliderUnfocused);
    EXPECT_EQ(fx.layered.alphas[wnd], 90);
    EXPECT_EQ(dlg->m_labelValueUnfocused->text(), QStringLiteral("90"));
    dlg->OnClose();
    EXPECT_EQ(fx.layered.alphas[wnd], 220);
    EXPECT_EQ(wnd->m_nAlphaUnfocused, 100) << "nothing stored without OK";
}

TEST_F(SettingsDlgTest, OnlyPageDragAndEndOfScrollActOnTheAlpha)
{
    Start();
    dlg->ShowSettings();
    dlg->m_sliderFocused->setSliderPosition(30); // a drag: previews at once
    EXPECT_EQ(fx.layered.alphas[wnd], 30);
    fx.layered.alphas.clear();
    for (int code : { CSettingsDlg::SB_LINEUP, CSettingsDlg::SB_LINEDOWN,
             CSettingsDlg::SB_THUMBPOSITION, CSettingsDlg::SB_TOP, CSettingsDlg::SB_BOTTOM })
        dlg->OnHScroll(code, dlg->m_sliderFocused);
    EXPECT_TRUE(fx.layered.alphas.empty());
    for (int code : { CSettingsDlg::SB_PAGEUP, CSettingsDlg::SB_PAGEDOWN,
             CSettingsDlg::SB_THUMBTRACK, CSettingsDlg::SB_ENDSCROLL }) {
        fx.layered.alphas.clear();
        dlg->OnHScroll(code, dlg->m_sliderFocused);
        EXPECT_EQ(fx.layered.alphas[wnd], 30) << "code " << code;
    }
}

TEST_F(SettingsDlgTest, EachOfTwoInterfaceSelectionsClearsTheHistory)
{
    Start();
    dlg->ShowSettings(); // a first run: Automatic, on "wlan0" at position 0
    wnd->m_graphSent.m_history[0] = 5;
    Choose(dlg->m_listDevices, 1); // eth0, position 1
    EXPECT_EQ(wnd->m_graphSent.m_nDevice, 1);
    EXPECT_EQ(wnd->m_graphSent.m_history[0], 0);
    wnd->m_graphSent.m_history[0] = 5;
    Choose(dlg->m_listDevices, 3); // wlan0
    EXPECT_EQ(wnd->m_graphSent.m_nDevice, 0);
    EXPECT_EQ(wnd->m_graphReceived.m_nDevice, 0);
    EXPECT_EQ(wnd->m_graphSent.m_history[0], 0);
    EXPECT_EQ(fx.App().m_nNetworkDevice, 0);
}

TEST_F(SettingsDlgTest, ScalePreviewIsRevertedByClose)
{
    Start();
    dlg->ShowSettings();
    Choose(dlg->m_listScale, 7);
    EXPECT_EQ(wnd->m_graphSent.m_strScale, QStringLiteral("1000 KB/s"));
    EXPECT_EQ(wnd->m_graphReceived.m_nFullScale, 1024000);
    dlg->OnClose();
    EXPECT_EQ(wnd->m_graphReceived.m_nFullScale, 20480);
    EXPECT_EQ(wnd->m_graphSent.m_strScale, QStringLiteral("20 KB/s"));
    EXPECT_TRUE(fx.store.writes.empty());
}

TEST_F(SettingsDlgTest, MirrorToggledThenClosedRevertsTheSentGraph)
{
    Start();
    dlg->ShowSettings();
    Click(dlg->m_checkMirror);
    EXPECT_EQ(wnd->m_graphSent.m_bMirror, 1);
    EXPECT_EQ(wnd->m_graphReceived.m_bMirror, 0);
    dlg->OnClose();
    EXPECT_EQ(wnd->m_graphSent.m_bMirror, 0);
    EXPECT_EQ(fx.App().m_bMirrorMode, 0);
}

TEST_F(SettingsDlgTest, FirstShowingWithTransparencyOffDisablesTheSlidersButNotTheValueLabels)
{
    Start();
    dlg->ShowSettings();
    EXPECT_FALSE(dlg->m_sliderFocused->isEnabled());
    EXPECT_FALSE(dlg->m_sliderUnfocused->isEnabled());
    EXPECT_FALSE(dlg->m_labelFocused->isEnabled());
    EXPECT_TRUE(dlg->m_labelValueFocused->isEnabled());
    EXPECT_TRUE(dlg->m_labelValueUnfocused->isEnabled());
    EXPECT_EQ(dlg->m_labelValueFocused->text(), QStringLiteral("100"));
    Click(dlg->m_checkTransparency);
    EXPECT_TRUE(dlg->m_labelValueFocused->isEnabled());
    Click(dlg->m_checkTransparency);
    EXPECT_FALSE(dlg->m_labelValueFocused->isEnabled());
}

TEST_F(SettingsDlgTest, EscapeClosesLikeTheCloseBoxAndEnterDoesNothing)
{
    Start();
    dlg->ShowSettings();
    Choose(dlg->m_listScale, 0);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(dlg, &enter);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(fx.store.writes.empty());
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(dlg, &escape);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(wnd->m_graphSent.m_nFullScale, 20480);
    EXPECT_TRUE(fx.store.writes.empty());
}

TEST_F(SettingsDlgTest, FitAndAutomaticArePreviewedTakenBackByCloseAndStoredByOk)
{
    fx.Store("NetworkDevice", 1); // eth0, picked by hand
    fx.Store("GraphicScale", 51200);
    Start();
    fx.connection.route4 = "wlan0";
    const auto stored = [&](const char* key) {
        return fx.store.values[{ QStringLiteral("Settings"), QString::fromLatin1(key) }];
    };
    for (bool ok : { false, true }) {
        dlg->ShowSettings();
        EXPECT_EQ(dlg->m_listDevices->itemText(0), QStringLiteral("Automatic (wlan0)"));
        Choose(dlg->m_listScale, 11);
        Choose(dlg->m_listDevices, 0);
        EXPECT_EQ(wnd->m_meter.Name(), "wlan0");
        EXPECT_EQ(wnd->m_graphReceived.m_strScale, QStringLiteral("5 KB/s")) << "fits flat graphs";
        if (!ok) {
            dlg->OnClose();
            EXPECT_EQ(wnd->m_meter.Name(), "eth0");
            EXPECT_EQ(wnd->m_graphReceived.m_nFullScale, 51200);
            EXPECT_TRUE(fx.store.writes.empty());
        }
    }
    dlg->OnOK();
    EXPECT_EQ(stored("GraphicScaleFit"), 1);
    EXPECT_EQ(stored("GraphicScale"), 51200) << "the fixed scale is kept beside Fit";
    EXPECT_EQ(stored("NetworkDeviceAutomatic"), 1);
    EXPECT_EQ(stored("NetworkDevice"), 0) << "the position of the interface it follows";
    const QString name
        = fx.store.strings[{ QStringLiteral("Settings"), QStringLiteral("NetworkDeviceName") }];
    EXPECT_EQ(name, QStringLiteral("wlan0"));
    dlg->ShowSettings();
    EXPECT_EQ(dlg->m_listDevices->currentIndex(), 0);
    EXPECT_EQ(dlg->m_listScale->currentIndex(), 11);
}
