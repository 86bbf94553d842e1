#include "port_assignment.h"

#include "port_diagnostics.h"
#include "port_map.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kelbrin {

std::string assignPort(const std::string& mapText, int32_t port, const std::string& path) {
    const std::string mapping = "COM" + std::to_string(port) + " = " + path;
    std::istringstream lines(mapText);
    std::string result;
    bool replaced = false;
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        const PortMapLine parsed = parsePortMapLine(line, number);
        if (!replaced && parsed.entry && parsed.entry->port == port) {
            const auto comment = line.find('#');
            line = mapping + (comment == std::string::npos ? "" : "  " + line.substr(comment));
            replaced = true;
        }
        result += line + "\n";
    }
    return replaced ? result : result + mapping + "\n";
}

OperatorText writePortAssignment(const std::string& file, int32_t port, const std::string& path) {
    std::ostringstream current;
    if (std::ifstream existing(file); existing) {
        current << existing.rdbuf();
    }
    std::istringstream check(current.str());
    if (const PortMap map = parsePortMap(file, check); !map.error.empty()) {
        return OperatorText(KELBRIN_TEXT("%1$s; correct that line first"), map.error);
    }
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), error);
    if (error) {
        return OperatorText(KELBRIN_TEXT("cannot create the folder of %1$s: %2$s"), file,
                            describeSystemError(error.value()));
    }
    const std::string temporary = file + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << assignPort(current.str(), port, path);
        if (!out.flush()) {
            return OperatorText(KELBRIN_TEXT("cannot write %1$s: %2$s"), temporary,
                                describeSystemError(errno));
        }
    }
    if (std::rename(temporary.c_str(), file.c_str()) != 0) {
        const int renameError = errno;
        std::remove(temporary.c_str());
        return OperatorText(KELBRIN_TEXT("cannot replace %1$s: %2$s"), file,
                            describeSystemError(renameError));
    }
    return {};
}

} // namespace kelbrin
