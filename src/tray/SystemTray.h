#pragma once

#include "platform/INotifyArea.h"
#include "platform/INotifyAreaListener.h"
#include "platform/IResources.h"
#include "platform/ITrayReceiver.h"
#include "platform/NotifyIconData.h"

#include <QIcon>
#include <QString>
#include <cstdint>

// The program's one icon in the notification area. It adds the icon, changes its image when
// told to, brings it back when it counts as hidden or deleted, adds it again when the area's
// host reappears or the work area changes, and deletes it on destruction. It does not
// interpret clicks: those go to the receiver named at creation.
//
// Three states: Absent (hidden and gone), Shown (neither), Hidden (hidden, not gone), with
// m_bReaddPending riding beside them.
class CSystemTray final : private INotifyAreaListener, private ITrayReceiver {
public:
    // szTip holds 128 bytes; a tooltip keeps at most 127 of them so the last stays NUL.
    static constexpr size_t s_nTipLimit = sizeof(NotifyIconData::szTip);

    CSystemTray(INotifyArea& area, IResources& icons);
    ~CSystemTray();
    CSystemTray(const CSystemTray&) = delete;
    CSystemTray& operator=(const CSystemTray&) = delete;

    // The start-hidden flag and the balloon arguments are accepted for the callers' sake;
    // the icon is always added visible and without a balloon.
    bool CreateFromResource(ITrayReceiver* pReceiver, uint32_t uCallbackMessage,
        const QString& strTip, uint16_t nIconResource, uint32_t uID, bool bHidden = false,
        const QString& strBalloon = {}, const QString& strBalloonTitle = {},
        uint32_t dwBalloonIcon = 0, uint32_t uBalloonTimeout = 10);
    bool CreateWithIcon(ITrayReceiver* pReceiver, uint32_t uCallbackMessage, const QString& strTip,
        const QIcon& hIcon, uint32_t uID, bool bHidden = false, const QString& strBalloon = {},
        const QString& strBalloonTitle = {}, uint32_t dwBalloonIcon = 0,
        uint32_t uBalloonTimeout = 10);
    bool ChangeIcon(const QIcon& hIcon);
    // Replaces the tooltip (cut to s_nTipLimit - 1 bytes); the area is asked only when the
    // text differs from the one it has.
    bool ChangeTip(const QString& strTip);
    bool MakeVisible();
    bool AddAgain();
    bool RemoveFromTray();
    void ReaddIfPending();
    QIcon LoadIconResource(uint16_t nResourceId);

    // The own window's broadcasts.
    long OnTaskbarCreated() override;
    long OnSettingChange(uintptr_t wParam) override;

    NotifyIconData m_record;
    bool m_bShellUsable = false;
    bool m_bIconHidden = true;
    bool m_bIconGone = true;
    bool m_bReaddPending = false;
    bool m_bStateSupported = false;
    uint32_t m_uAddFlags = 0;
    QIcon m_hLoadedIcon;

private:
    // The own window gets the icon's notifications when no receiver is named; it has no use
    // for them.
    long OnTrayNotification(uint32_t, uintptr_t, uintptr_t) override { return 0; }
    void CopyTip(const QString& strTip);

    INotifyArea* m_pArea;
    IResources* m_pIcons;
    bool m_bWindowCreated = false;
};
