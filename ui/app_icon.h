#pragma once

#include <QIcon>

// The application icon IDR_MAINFRAME, with its 16, 32, 48, 64 and 128 pixel images.
QIcon applicationIcon();
