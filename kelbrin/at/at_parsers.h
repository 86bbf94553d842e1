#pragma once

#include <optional>
#include <string>
#include <vector>

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

/// "+CREG: <n>,<stat>[,...]", also +CGREG and +CEREG → stat (27.007 §7.2: 0 idle, 1 home,
/// 2 searching, 3 denied, 4 unknown, 5 roaming, 6/7 home/roaming for SMS only, 8 emergency only).
std::optional<int> parseRegistrationResponse(const std::string& line);

/// "+CPMS: <used1>,<total1>,..." → used1, the messages in the first memory.
std::optional<int> parseCpmsUsed(const std::string& line);

/// "+CPMS: ("SM","ME","SR"),("SM","ME"),("SM","ME")": the memories each of <mem1>, <mem2>,
/// <mem3> may name. Also Wavecom's nested "(("SM","BM","SR"),("SM"))", lists without quotes or
/// with blanks, and "+CPMS: "SM","SM","SM"" without parentheses (iWOW): one memory per place.
std::vector<std::vector<std::string>> parseCpmsTestResponse(const std::string& line);

/// The numbers of a "+CPMS:" answer in order, memory names skipped: the set form
/// "<used1>,<total1>,<used2>,<total2>,<used3>,<total3>" and the read form alike.
std::vector<int> parseCpmsCounts(const std::string& line);

/// A line modems send on their own (indications, network and boot codes). A line that is not one
/// may be the late answer of an earlier command.
bool isKnownUnsolicited(const std::string& line);

/// An unsolicited line a modem prints when it has (re)started: "RDY" (Quectel, SIMCom),
/// "SMS Ready", "+QIND: SMS DONE", or "+CPIN: READY" without a command asking (TinyGSM issue 608).
bool isBootSign(const std::string& line);
/// The lines that say the SMS stack is up: "SMS Ready" (SIMCom), "+QIND: SMS DONE" (Quectel).
bool isSmsReadySign(const std::string& line);

} // namespace kelbrin
