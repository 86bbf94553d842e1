#pragma once

#include <optional>
#include <string>

namespace kelbrin {

/// "+CMGS: 17" or "+CMGS: 17,"13/04/29,19:58:00+04"": the message reference (0-255).
std::optional<int> parseCmgsResponse(const std::string& line);

/// A message or status report stored by the modem: "+CMTI: "SM",3" / "+CDSI: "SR",5".
struct StoredIndication {
    std::string storage;
    int index = 0;
};
std::optional<StoredIndication> parseCmtiUrc(const std::string& line);

/// "+CMGL: <index>,<stat>,[<alpha>],<length>" (Pantech leaves out <alpha>: fields are counted
/// from the right).
struct CmglEntry {
    int index = 0;
    std::optional<int> status; ///< 0 unread, 1 read, 2 unsent, 3 sent
    int length = 0;
};
std::optional<CmglEntry> parseCmglHeader(const std::string& line);

/// "+CMGR: <stat>,[<alpha>],<length>", also "+CMGR: ,,27" (ZTE) and "+CMGR: 24" (status report
/// memory): the TPDU length, the last field.
std::optional<int> parseCmgrLength(const std::string& line);

/// "+CMT: [<alpha>],<length>" and "+CDS: <length>" / "+CDS: ,<length>": the TPDU length.
std::optional<int> parsePduUrcLength(const std::string& line);

/// "+CPIN: READY" → "READY"; "+CPIN: SIM PIN" → "SIM PIN".
std::optional<std::string> parseCpinResponse(const std::string& line);

/// "+CSCA: "+27831000015",145" → "+27831000015" (empty when the SIM holds none).
std::optional<std::string> parseCscaResponse(const std::string& line);

/// "+CREG: <n>,<stat>[,...]" → stat (0 idle, 1 home, 2 searching, 3 denied, 4 unknown, 5 roaming).
std::optional<int> parseCregResponse(const std::string& line);

} // namespace kelbrin
