#pragma once

#include "platform/ITrayReceiver.h"

#include <QIcon>
#include <cstdint>

// Messages to the notification area.
constexpr uint32_t NIM_ADD = 0;
constexpr uint32_t NIM_MODIFY = 1;
constexpr uint32_t NIM_DELETE = 2;

// Which record fields a message carries.
constexpr uint32_t NIF_MESSAGE = 0x1;
constexpr uint32_t NIF_ICON = 0x2;
constexpr uint32_t NIF_TIP = 0x4;
constexpr uint32_t NIF_STATE = 0x8;

constexpr uint32_t NIS_HIDDEN = 0x1;

// The settings-change broadcast, and the setting that says the desktop work area moved.
constexpr uint32_t WM_SETTINGCHANGE = 0x001A;
constexpr uintptr_t SPI_SETWORKAREA = 0x2F;

// The record handed to the notification area with every message: the full form that ends
// with the balloon fields (488 bytes where it was first laid out). hWnd names who gets the
// icon's mouse notifications; hIcon is the image, null for none. Text fields hold UTF-8 and
// always end in a NUL.
struct NotifyIconData {
    static constexpr uint32_t kFullSize = 488;

    uint32_t cbSize = 0;
    ITrayReceiver* hWnd = nullptr;
    uint32_t uID = 0;
    uint32_t uFlags = 0;
    uint32_t uCallbackMessage = 0;
    QIcon hIcon;
    char szTip[128] = {};
    uint32_t dwState = 0;
    uint32_t dwStateMask = 0;
    char szInfo[256] = {};
    uint32_t uTimeout = 0;
    char szInfoTitle[64] = {};
    uint32_t dwInfoFlags = 0;
};
