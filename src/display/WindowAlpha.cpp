#include "display/WindowAlpha.h"

CWindowAlpha::CWindowAlpha(ILayeredWindow& platform)
    : m_pPlatform(&platform)
{
}

bool CWindowAlpha::SetWindowAlpha(QWidget* pWindow, int nAlpha)
{
    return SetLayeredAttributes(pWindow, 0, nAlpha, ILayeredWindow::LWA_ALPHA);
}

bool CWindowAlpha::LoadUser32()
{
    if (!m_bLibraryLoaded)
        m_bLibraryLoaded = m_pPlatform->LoadLibrary();
    return m_bLibraryLoaded;
}

bool CWindowAlpha::SetLayeredAttributes(
    QWidget* pWindow, uint32_t crKey, int nAlpha, uint32_t dwFlags)
{
    if (!m_bLibraryLoaded && !LoadUser32())
        return false;
    if (!m_bFunctionFound) {
        m_bFunctionFound = m_pPlatform->FindSetLayeredWindowAttributes();
        if (!m_bFunctionFound)
            return false;
    }
    // The alpha only shows on a layered window, so make it one first.
    if (!IsLayered(pWindow))
        AddLayeredStyle(pWindow);
    return m_pPlatform->SetLayeredWindowAttributes(
        pWindow, crKey, static_cast<uint8_t>(nAlpha & 0xFF), dwFlags);
}

bool CWindowAlpha::IsLayered(QWidget* pWindow)
{
    return (m_pPlatform->GetExStyle(pWindow) & ILayeredWindow::WS_EX_LAYERED) != 0;
}

bool CWindowAlpha::AddLayeredStyle(QWidget* pWindow)
{
    return m_pPlatform->SetExStyle(
        pWindow, m_pPlatform->GetExStyle(pWindow) | ILayeredWindow::WS_EX_LAYERED);
}

bool CWindowAlpha::RemoveLayeredStyle(QWidget* pWindow)
{
    return m_pPlatform->SetExStyle(
        pWindow, m_pPlatform->GetExStyle(pWindow) & ~ILayeredWindow::WS_EX_LAYERED);
}
