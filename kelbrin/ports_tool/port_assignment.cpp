#include "port_assignment.h"

#include "port_map.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
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

std::string writePortAssignment(const std::string& file, int32_t port, const std::string& path) {
    std::ostringstream current;
    if (std::ifstream existing(file); existing) {
        current << existing.rdbuf();
    }
    std::istringstream check(current.str());
    if (const PortMap map = parsePortMap(file, check); !map.error.empty()) {
        return map.error.english() + "; correct that line first";
    }
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), error);
    if (error) {
        return "cannot create the folder of " + file + ": " + error.message();
    }
    const std::string temporary = file + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << assignPort(current.str(), port, path);
        if (!out.flush()) {
            return "cannot write " + temporary + ": " + std::strerror(errno);
        }
    }
    if (std::rename(temporary.c_str(), file.c_str()) != 0) {
        const int renameError = errno;
        std::remove(temporary.c_str());
        return "cannot replace " + file + ": " + std::strerror(renameError);
    }
    return {};
}

} // namespace kelbrin
