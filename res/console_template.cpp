#include "console_template.h"

#include "control_ids.h"

#include <iterator>

namespace {

using namespace control_style;

constexpr unsigned kComboStyles = kTabStop | kVerticalScroll;
constexpr unsigned kPaneStyles = kTabStop | kBorder | kVerticalScroll;
constexpr unsigned kLineEditStyles = kTabStop | kBorder | kAutoHorizontalScroll;

// In tab order.
constexpr ControlTemplate kControls[] = {
    {IDC_COMBO_PORT, ControlKind::DropDownCombo, kComboStyles, 49, 8, 40, 83, ""},
    {IDC_STATIC_PORT, ControlKind::Label, kGroup, 21, 9, 25, 8, "串口："},
    {IDC_GROUP_SERIAL, ControlKind::GroupBox, 0, 7, 1, 439, 24, "参数设置"},
    {IDC_STATIC_BAUD, ControlKind::Label, kGroup, 95, 10, 33, 8, "波特率："},
    {IDC_COMBO_BAUD, ControlKind::DropDownCombo, kComboStyles, 131, 8, 43, 64, ""},
    {IDC_BTN_START, ControlKind::PushButton, kTabStop, 208, 8, 37, 14, "开始"},
    {IDC_BTN_STOP, ControlKind::PushButton, kTabStop, 250, 8, 36, 14, "停止"},
    {IDC_BTN_CLEAR, ControlKind::PushButton, kTabStop, 290, 8, 36, 14, "清空"},
    {IDC_GROUP_LOG, ControlKind::GroupBox, 0, 229, 28, 217, 203, "输出栏"},
    {IDC_GROUP_RECEIVE, ControlKind::GroupBox, 0, 7, 28, 215, 105, "接收区"},
    {IDC_EDIT_RECEIVE, ControlKind::MultiLineEdit, kPaneStyles, 7, 37, 211, 87, ""},
    {IDC_EDIT_CONTENT, ControlKind::MultiLineEdit, kPaneStyles, 7, 141, 210, 65, ""},
    {IDC_GROUP_SEND, ControlKind::GroupBox, 0, 7, 131, 214, 80, "发送区"},
    {IDC_BTN_SEND, ControlKind::PushButton, kTabStop, 175, 216, 48, 14, "发送"},
    {IDC_STATIC_PHONE, ControlKind::Label, kGroup, 7, 219, 63, 8, "   接收端号码："},
    {IDC_EDIT_PHONE, ControlKind::SingleLineEdit, kLineEditStyles, 76, 217, 96, 13, ""},
    {IDC_EDIT_LOG, ControlKind::MultiLineEdit, kPaneStyles, 232, 38, 211, 188, ""},
    {IDC_BTN_QUERY, ControlKind::PushButton, kTabStop, 405, 7, 36, 14, "查询"},
    {IDC_EDIT_INDEX, ControlKind::SingleLineEdit, kLineEditStyles | kDigitsOnly, 365, 8, 35, 13,
     ""},
    {IDC_STATIC_INDEX, ControlKind::Label, kGroup, 330, 10, 33, 8, "索引值："},
    {IDC_CHECK_RTS, ControlKind::CheckBox, kTabStop, 175, 9, 30, 10, "RTS"},
};

constexpr DialogTemplate kConsole{IDD_CONSOLE, "Vantrel-V2.4",      "Arial", 9, 453, 238,
                                  kControls,   std::size(kControls)};

} // namespace

const DialogTemplate& consoleTemplate() {
    return kConsole;
}
