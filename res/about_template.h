#pragma once

// The About box IDD_ABOUTBOX and the text of the command that opens it (string IDS_ABOUTBOX).

#include "dialog_template.h"

const DialogTemplate& aboutTemplate();

// String 101: the About command on the console's own menu. Not relabelled in the English UI.
inline constexpr const char* kAboutCommandText = "关于 Ostrane(&A)...";

// Ids of the About box's controls. The OK button has the window system's IDOK; the others are
// static controls, numbered here so that they can be told apart.
constexpr int kIdOk = 1;
constexpr int kIdAboutIcon = 1100;
constexpr int kIdAboutName = 1101;
constexpr int kIdAboutDescription = 1102;
