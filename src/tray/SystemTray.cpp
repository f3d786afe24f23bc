#include "tray/SystemTray.h"

#include <QByteArray>
#include <cstring>

namespace {

constexpr uint32_t kAddFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;

bool IsContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

CSystemTray::CSystemTray(INotifyArea& area, IResources& icons)
    : m_pArea(&area)
    , m_pIcons(&icons)
{
    m_bStateSupported = m_pArea->StateSupported();
}

CSystemTray::~CSystemTray()
{
    RemoveFromTray();
    if (m_bWindowCreated)
        m_pArea->SetListener(nullptr);
    if (!m_hLoadedIcon.isNull())
        m_pIcons->DestroyIcon(m_hLoadedIcon);
}

QIcon CSystemTray::LoadIconResource(uint16_t nResourceId)
{
    return m_pIcons->LoadIcon(nResourceId);
}

bool CSystemTray::CreateFromResource(ITrayReceiver* pReceiver, uint32_t uCallbackMessage,
    const QString& strTip, uint16_t nIconResource, uint32_t uID, bool bHidden,
    const QString& strBalloon, const QString& strBalloonTitle, uint32_t dwBalloonIcon,
    uint32_t uBalloonTimeout)
{
    if (!m_hLoadedIcon.isNull())
        m_pIcons->DestroyIcon(m_hLoadedIcon);
    m_hLoadedIcon = LoadIconResource(nIconResource);
    return CreateWithIcon(pReceiver, uCallbackMessage, strTip, m_hLoadedIcon, uID, bHidden,
        strBalloon, strBalloonTitle, dwBalloonIcon, uBalloonTimeout);
}

bool CSystemTray::CreateWithIcon(ITrayReceiver* pReceiver, uint32_t uCallbackMessage,
    const QString& strTip, const QIcon& hIcon, uint32_t uID, bool /*bHidden*/,
    const QString& /*strBalloon*/, const QString& /*strBalloonTitle*/, uint32_t /*dwBalloonIcon*/,
    uint32_t /*uBalloonTimeout*/)
{
    m_bShellUsable = m_pArea->ShellUsable();
    if (!m_bShellUsable)
        return false;

    // The own window: from now on the area's broadcasts reach this object.
    if (!m_bWindowCreated) {
        m_pArea->SetListener(this);
        m_bWindowCreated = true;
    }

    m_record.cbSize = NotifyIconData::kFullSize;
    m_record.hWnd = pReceiver ? pReceiver : static_cast<ITrayReceiver*>(this);
    m_record.uID = uID;
    m_record.hIcon = hIcon;
    m_record.uCallbackMessage = uCallbackMessage;
    m_record.uFlags = kAddFlags;
    CopyTip(strTip);
    m_uAddFlags = m_record.uFlags;

    const bool bAdded = m_pArea->NotifyIcon(NIM_ADD, m_record);
    m_bIconGone = m_bIconHidden = m_bReaddPending = !bAdded;
    return bAdded;
}

void CSystemTray::CopyTip(const QString& strTip)
{
    QByteArray utf8 = strTip.toUtf8();
    // The area reads the tip as a C string: anything after an embedded NUL is never shown.
    size_t nLength = ::strnlen(utf8.constData(), static_cast<size_t>(utf8.size()));
    const size_t nMax = s_nTipLimit - 1;
    if (nLength > nMax) {
        // Cut before the character that would be split: step back over its continuation
        // bytes (at most three in UTF-8) to its lead byte and drop that too.
        nLength = nMax;
        for (int nStep = 0; nStep < 3 && nLength > 0 && IsContinuationByte(utf8[nLength]); ++nStep)
            --nLength;
        if (IsContinuationByte(utf8[nLength]))
            nLength = nMax; // not UTF-8 after all: a plain byte cut is all that is left
    }
    std::memset(m_record.szTip, 0, sizeof(m_record.szTip));
    std::memcpy(m_record.szTip, utf8.constData(), nLength);
}

bool CSystemTray::ChangeIcon(const QIcon& hIcon)
{
    if (!m_bShellUsable)
        return false;
    m_record.uFlags = NIF_ICON;
    // Kept even when nothing is sent, so the next add shows the latest image.
    m_record.hIcon = hIcon;
    if (m_bIconHidden)
        return true;
    return m_pArea->NotifyIcon(NIM_MODIFY, m_record);
}

bool CSystemTray::ChangeTip(const QString& strTip)
{
    if (!m_bShellUsable)
        return false;
    char previous[sizeof m_record.szTip];
    std::memcpy(previous, m_record.szTip, sizeof previous);
    CopyTip(strTip);
    if (std::memcmp(previous, m_record.szTip, sizeof previous) == 0)
        return true;
    m_record.uFlags = NIF_TIP;
    // Kept when nothing is sent, so the next add shows the latest text.
    if (m_bIconHidden)
        return true;
    return m_pArea->NotifyIcon(NIM_MODIFY, m_record);
}

bool CSystemTray::RemoveFromTray()
{
    m_bReaddPending = false;
    if (!m_bShellUsable || m_bIconGone)
        return true;
    m_record.uFlags = 0;
    if (m_pArea->NotifyIcon(NIM_DELETE, m_record)) {
        m_bIconHidden = true;
        m_bIconGone = true;
    }
    return m_bIconGone;
}

bool CSystemTray::AddAgain()
{
    // An icon that may still be in the area is deleted before it is added.
    if (!m_bIconGone)
        RemoveFromTray();
    if (m_bShellUsable) {
        m_record.uFlags = kAddFlags;
        if (m_pArea->NotifyIcon(NIM_ADD, m_record)) {
            m_bIconHidden = false;
            m_bIconGone = false;
        } else {
            m_bReaddPending = true;
        }
    }
    return !m_bIconGone;
}

bool CSystemTray::MakeVisible()
{
    if (m_bIconGone)
        return AddAgain();
    if (!m_bIconHidden)
        return true;
    if (m_bStateSupported) {
        // Only the state travels; an image stored while hidden waits for the next ChangeIcon.
        m_record.uFlags = NIF_STATE;
        m_record.dwState = 0;
        m_record.dwStateMask = NIS_HIDDEN;
        m_pArea->NotifyIcon(NIM_MODIFY, m_record);
        m_bIconHidden = false;
        return true;
    }
    AddAgain();
    return !m_bIconHidden;
}

void CSystemTray::ReaddIfPending()
{
    if (!m_bReaddPending || m_bIconHidden)
        return;
    m_record.uFlags = m_uAddFlags;
    const bool bAdded = m_pArea->NotifyIcon(NIM_ADD, m_record);
    m_bIconHidden = m_bReaddPending = !bAdded;
}

long CSystemTray::OnTaskbarCreated()
{
    // An add still pending (the area refused it, say because the panel was not running yet)
    // is made now, hidden or not: waiting for the next activity change could mean waiting
    // for ever.
    if (m_bShellUsable && m_bReaddPending && m_bIconHidden) {
        m_record.uFlags = m_uAddFlags;
        if (m_pArea->NotifyIcon(NIM_ADD, m_record))
            m_bIconHidden = m_bIconGone = m_bReaddPending = false;
        return 0;
    }
    m_bReaddPending = true;
    ReaddIfPending();
    return 0;
}

long CSystemTray::OnSettingChange(uintptr_t wParam)
{
    // Nothing else in the program reacts to setting changes; only a moved work area matters.
    if (wParam == SPI_SETWORKAREA) {
        m_bReaddPending = !m_bIconHidden;
        ReaddIfPending();
    }
    return 0;
}
