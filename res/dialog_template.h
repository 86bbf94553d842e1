#pragma once

// The declarative form of a dialog window: every control with its id, kind, style, position and
// size in dialog units and caption, listed in tab order. ui/ builds the Qt widgets from it.

#include <cstddef>

enum class ControlKind {
    DropDownCombo,  // editable combo box with a drop-down list
    Label,          // static text
    GroupBox,       // frame with a title; neither a group nor a tab stop
    PushButton,     //
    CheckBox,       // automatic check box
    SingleLineEdit, //
    MultiLineEdit,  // wraps at its width, scrolls vertically
    Icon,           // the application icon at the standard icon size
};

// Style flags of a control, after the window system's own: they change how a control behaves.
namespace control_style {
constexpr unsigned kTabStop = 1u << 0;
constexpr unsigned kGroup = 1u << 1;
constexpr unsigned kBorder = 1u << 2;
constexpr unsigned kVerticalScroll = 1u << 3;
// The edit field scrolls horizontally; without it, typing stops at the visible width.
constexpr unsigned kAutoHorizontalScroll = 1u << 4;
constexpr unsigned kDigitsOnly = 1u << 5;
constexpr unsigned kDefaultButton = 1u << 6;
} // namespace control_style

struct ControlTemplate {
    int id;
    ControlKind kind;
    unsigned styles;
    // Position and size in dialog units. A drop-down combo's height includes its open list.
    int x;
    int y;
    int width;
    int height;
    const char* caption; // UTF-8
};

struct DialogTemplate {
    int id;
    const char* title; // UTF-8
    const char* fontFamily;
    int fontPointSize;
    int width; // dialog units
    int height;
    const ControlTemplate* controls;
    std::size_t controlCount;

    const ControlTemplate* begin() const { return controls; }
    const ControlTemplate* end() const { return controls + controlCount; }
};
