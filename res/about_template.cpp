#include "about_template.h"

#include "control_ids.h"

#include <iterator>

namespace {

using namespace control_style;

// In tab order. The icon's size is the standard icon size, not a template value.
constexpr ControlTemplate kControls[] = {
    {kIdAboutIcon, ControlKind::Icon, 0, 11, 17, 0, 0, ""},
    {kIdAboutName, ControlKind::Label, kGroup, 40, 10, 119, 8, "Vantrel V2.4"},
    {kIdAboutDescription, ControlKind::Label, kGroup, 40, 25, 119, 8, "短信模块测试控制台"},
    {kIdOk, ControlKind::PushButton, kTabStop | kGroup | kDefaultButton, 178, 7, 50, 14, "确定"},
};

// SimSun is substituted by a Song face installed on Linux (see the application shell).
constexpr DialogTemplate kAbout{IDD_ABOUTBOX, "关于 Vantrel.exe",  "SimSun", 9, 235, 55,
                                kControls,    std::size(kControls)};

} // namespace

const DialogTemplate& aboutTemplate() {
    return kAbout;
}
