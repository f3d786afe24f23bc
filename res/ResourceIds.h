#pragma once

// Numbers of the program's templates, menus, bitmaps, icons, strings, controls and commands.

// Dialog templates
constexpr int IDD_ABOUTBOX = 100; // About dialog, also the hidden main window
constexpr int IDD_SETTINGS = 130; // settings dialog
constexpr int IDD_TRAFFIC = 132; // traffic window

// Resources
constexpr int IDR_MAINFRAME = 128; // program icon
constexpr int IDR_TRAYMENU = 133; // tray menu; also the tray icon's id
constexpr int IDB_SKIN = 134; // traffic window skin, 174 x 123
constexpr int IDI_IDLE = 135; // both lamps dark
constexpr int IDI_RECEIVE = 136; // green lamp lit
constexpr int IDI_SEND = 137; // red lamp lit
constexpr int IDI_BOTH = 138; // both lamps lit

// Strings
constexpr int IDS_ABOUTBOX = 101; // "&About Corvane"
constexpr int IDS_TOOLTIP = 102; // "Corvane by Mirelda"

// Controls of the traffic window
constexpr int IDC_GRAPH_RECEIVED = 1010;
constexpr int IDC_GRAPH_SENT = 1011;

// Controls of the About dialog
constexpr int IDC_ABOUT_NOTICE = 1013;
constexpr int IDC_ABOUT_LINK = 1014;
constexpr int IDC_ABOUT_VERSION = 1015;

// Controls of the settings dialog
constexpr int IDC_DEVICE_CAPTION = 1004;
constexpr int IDC_DEVICE_LIST = 1005;
constexpr int IDC_SCALE_LIST = 1006;
constexpr int IDC_OK = 1007;
constexpr int IDC_TRANSPARENCY_CHECK = 1016;
constexpr int IDC_ALPHA_FOCUSED = 1017;
constexpr int IDC_ALPHA_UNFOCUSED = 1018;
constexpr int IDC_LABEL_FOCUSED = 1019;
constexpr int IDC_LABEL_UNFOCUSED = 1020;
constexpr int IDC_VALUE_FOCUSED = 1021;
constexpr int IDC_VALUE_UNFOCUSED = 1022;
constexpr int IDC_MIRROR_CHECK = 1023;
constexpr int IDC_SPONSOR_CAPTION = 1024;
constexpr int IDC_SPONSOR_LINK = 1025;

// Tray menu commands (menu 133), routed to the application object
constexpr int ID_APP_ABOUT = 40001;
constexpr int ID_APP_SETTINGS = 40002;
constexpr int ID_APP_EXIT = 40004;
constexpr int ID_APP_SHOW = 40005;
constexpr int ID_APP_HIDE = 40006;

// The traffic window's own menu
constexpr int ID_WND_ABOUT = 2000;
constexpr int ID_WND_SETTINGS = 2001;
constexpr int ID_WND_SEPARATOR = 1000;
constexpr int ID_WND_EXIT = 16;

// The main window's system-menu item that runs the About dialog modally
constexpr int IDM_ABOUTBOX = 0x0010;

// Tray notifications
constexpr unsigned WM_TRAY_CALLBACK = 0x8616;
constexpr unsigned WM_LBUTTONUP = 0x0202;
constexpr unsigned WM_LBUTTONDBLCLK = 0x0203;
constexpr unsigned WM_RBUTTONUP = 0x0205;
constexpr unsigned WM_MBUTTONUP = 0x0208;
