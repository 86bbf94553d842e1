#include "device_table.h"

#include "display_width.h"

#include <algorithm>
#include <array>
#include <filesystem>

namespace kelbrin {
namespace {

constexpr std::size_t kColumns = 6;
using Row = std::array<std::string, kColumns>;

std::string orDash(const std::string& text) {
    return text.empty() ? "-" : text;
}

std::string comNames(const std::vector<int32_t>& ports) {
    std::string text;
    for (int32_t port : ports) {
        text += (text.empty() ? "COM" : ",COM") + std::to_string(port);
    }
    return text;
}

} // namespace

std::string deviceTable(const std::vector<SerialDevice>& devices,
                        const OperatorText& lastColumnTitle,
                        const std::vector<OperatorText>& lastColumn, TextLanguage language) {
    std::vector<Row> rows{{OperatorText(KELBRIN_TEXT("DEVICE")).in(language), "COM",
                           OperatorText(KELBRIN_TEXT("DRIVER")).in(language), "USB", "BY-ID",
                           lastColumnTitle.in(language)}};
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const SerialDevice& device = devices[i];
        rows.push_back({device.path, orDash(comNames(device.ports)), orDash(device.driver),
                        orDash(device.usbId),
                        orDash(std::filesystem::path(device.byId).filename().string()),
                        lastColumn.at(i).in(language)});
    }
    std::array<std::size_t, kColumns> widths{};
    for (const Row& row : rows) {
        for (std::size_t column = 0; column < kColumns; ++column) {
            widths[column] = std::max(widths[column], displayWidth(row[column]));
        }
    }
    std::string table;
    for (const Row& row : rows) {
        std::string line;
        for (std::size_t column = 0; column < kColumns; ++column) {
            line += row[column];
            if (column + 1 < kColumns) {
                line += std::string(widths[column] - displayWidth(row[column]) + 2, ' ');
            }
        }
        table += line + "\n";
    }
    return table;
}

} // namespace kelbrin
