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

/// "+CSQ: <rssi>,<ber>" → rssi (27.007 §8.5: 0 is -113 dBm or less, 31 is -51 dBm or more, 99
/// not known).
std::optional<int> parseCsqRssi(const std::string& line);

/// "+COPS: 0,0,"Vodafone NL",7" → "Vodafone NL"; nothing for "+COPS: 0" (no operator).
std::optional<std::string> parseCopsOperator(const std::string& line);

/// "+CNUM: ,"+31612345678",145" (or with a name first) → "+31612345678".
std::optional<std::string> parseCnumNumber(const std::string& line);

/// The values a test command offers for each parameter: "+CNMI: (0-2),(0,1),(0),(0-2),(0,1)" →
/// {{0,1,2},{0,1},{0},{0,1,2},{0,1}}. Also lists without parentheses, one value or range per
/// parameter.
std::vector<std::vector<int>> parseTestRanges(const std::string& line);

/// A line modems send on their own (indications, network and boot codes). A line that is not one
/// may be the late answer of an earlier command.
bool isKnownUnsolicited(const std::string& line);

/// An unsolicited line a modem prints when it has (re)started: "RDY" (Quectel, SIMCom),
/// "*ATREADY: 1" (SIMCom A76xx), "SMS Ready", "SMS DONE", "+QIND: SMS DONE", or "+CPIN: READY"
/// without a command asking (TinyGSM issue 608).
bool isBootSign(const std::string& line);
/// The lines that say the SMS stack is up: "SMS Ready" (SIMCom SIM800), "SMS DONE" (SIMCom
/// A76xx), "+QIND: SMS DONE" (Quectel).
bool isSmsReadySign(const std::string& line);

} // namespace kelbrin
