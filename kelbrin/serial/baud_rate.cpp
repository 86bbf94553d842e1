#include "baud_rate.h"

#include <array>
#include <utility>

namespace kelbrin {
namespace {

constexpr std::array<std::pair<int32_t, speed_t>, 25> kBaudRates{{
    {110, B110},         {300, B300},         {600, B600},         {1200, B1200},
    {1800, B1800},       {2400, B2400},       {4800, B4800},       {9600, B9600},
    {19200, B19200},     {38400, B38400},     {57600, B57600},     {115200, B115200},
    {230400, B230400},   {460800, B460800},   {500000, B500000},   {576000, B576000},
    {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000},
    {4000000, B4000000},
}};

} // namespace

std::optional<speed_t> baudRateConstant(int32_t baud) {
    for (const auto& [rate, constant] : kBaudRates) {
        if (rate == baud) {
            return constant;
        }
    }
    return std::nullopt;
}

std::string supportedBaudRates() {
    std::string list;
    for (const auto& entry : kBaudRates) {
        if (!list.empty()) {
            list += ", ";
        }
        list += std::to_string(entry.first);
    }
    return list;
}

} // namespace kelbrin
