#pragma once

// Identifiers of the console window's controls, dialogs, resources and timer. The window template
// in res/ and the console logic in core/ address controls by these numbers.

enum : int {
    IDD_ABOUTBOX = 100,
    IDS_ABOUTBOX = 101,
    IDD_CONSOLE = 102,
    IDR_MAINFRAME = 128,

    IDC_COMBO_PORT = 1000,
    IDC_COMBO_BAUD = 1001,
    IDC_BTN_START = 1002,
    IDC_BTN_STOP = 1003,
    IDC_BTN_CLEAR = 1004,
    IDC_BTN_QUERY = 1005,
    IDC_EDIT_RECEIVE = 1006,
    IDC_EDIT_CONTENT = 1007,
    IDC_EDIT_LOG = 1009,
    IDC_BTN_SEND = 1010,
    IDC_EDIT_PHONE = 1011,
    IDC_GROUP_SERIAL = 1014,
    IDC_STATIC_PORT = 1015,
    IDC_STATIC_BAUD = 1016,
    IDC_GROUP_RECEIVE = 1017,
    IDC_GROUP_SEND = 1018,
    IDC_GROUP_LOG = 1019,
    IDC_STATIC_PHONE = 1020,
    IDC_EDIT_INDEX = 1021,
    IDC_STATIC_INDEX = 1022,
    IDC_CHECK_RTS = 1023,

    IDM_ABOUTBOX = 0x0010,
    POLL_TIMER_ID = 1,
};

// Period of the poll timer in milliseconds.
constexpr int kPollIntervalMs = 1500;
