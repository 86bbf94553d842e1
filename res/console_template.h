#pragma once

// The console window IDD_CONSOLE and the initial lists of its two combo boxes.

#include "dialog_template.h"

#include <array>

const DialogTemplate& consoleTemplate();

// Filled in this order when the window initialises; not sorted.
inline constexpr std::array<const char*, 8> kInitialPortList{"COM1", "COM2", "COM3", "COM4",
                                                             "COM5", "COM6", "COM7", "COM8"};
inline constexpr std::array<const char*, 5> kInitialBaudList{"115200", "57600", "38400", "19200",
                                                             "9600"};
