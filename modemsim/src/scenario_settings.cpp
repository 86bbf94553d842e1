#include "scenario_settings.h"

#include <charconv>
#include <functional>
#include <map>
#include <utility>

namespace modemsim {

namespace {

using Apply = std::function<std::optional<std::string>(Settings&, Faults&, const std::string&)>;

std::optional<int> parseInt(const std::string& value, int low, int high) {
    int number = 0;
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc() || end != value.data() + value.size() || number < low ||
        number > high) {
        return std::nullopt;
    }
    return number;
}

std::optional<bool> parseBool(const std::string& value) {
    if (value == "on" || value == "true" || value == "1" || value == "yes") {
        return true;
    }
    if (value == "off" || value == "false" || value == "0" || value == "no") {
        return false;
    }
    return std::nullopt;
}

template <typename Enum>
std::optional<Enum> parseChoice(const std::string& value,
                                const std::map<std::string, Enum>& choices) {
    auto found = choices.find(value);
    if (found == choices.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::string invalid(const std::string& value, const char* expected) {
    return "'" + value + "' is not " + expected;
}

template <typename Member> Apply text(Member member) {
    return [member](Settings& settings, Faults&, const std::string& value) {
        settings.*member = value;
        return std::optional<std::string>();
    };
}

// Digits of a numbering plan; a trunk prefix may be empty (countries without one).
Apply digits(std::string Settings::*member, bool mayBeEmpty) {
    return [member, mayBeEmpty](Settings& settings, Faults&, const std::string& value) {
        if ((value.empty() && !mayBeEmpty) ||
            value.find_first_not_of("0123456789") != std::string::npos) {
            return std::optional<std::string>(invalid(value, "digits"));
        }
        settings.*member = value;
        return std::optional<std::string>();
    };
}

Apply flag(bool Faults::*member) {
    return [member](Settings&, Faults& faults, const std::string& value) {
        auto parsed = parseBool(value);
        if (!parsed) {
            return std::optional<std::string>(invalid(value, "on or off"));
        }
        faults.*member = *parsed;
        return std::optional<std::string>();
    };
}

template <typename Owner> Owner& ownerOf(Settings& settings, Faults& faults);
template <> Settings& ownerOf<Settings>(Settings& settings, Faults&) {
    return settings;
}
template <> Faults& ownerOf<Faults>(Settings&, Faults& faults) {
    return faults;
}

template <typename Owner> Apply number(int Owner::*member, int low, int high) {
    return [member, low, high](Settings& settings, Faults& faults, const std::string& value) {
        auto parsed = parseInt(value, low, high);
        if (!parsed) {
            return std::optional<std::string>(invalid(value, "a number in range"));
        }
        ownerOf<Owner>(settings, faults).*member = *parsed;
        return std::optional<std::string>();
    };
}

template <typename Owner> Apply milliseconds(std::chrono::milliseconds Owner::*member) {
    return [member](Settings& settings, Faults& faults, const std::string& value) {
        auto parsed = parseInt(value, 0, 3'600'000);
        if (!parsed) {
            return std::optional<std::string>(invalid(value, "a delay in milliseconds"));
        }
        ownerOf<Owner>(settings, faults).*member = std::chrono::milliseconds(*parsed);
        return std::optional<std::string>();
    };
}

// A stat that follows another one until it is set itself.
Apply optionalNumber(std::optional<int> Settings::*member, int low, int high) {
    return [member, low, high](Settings& settings, Faults&, const std::string& value) {
        auto parsed = parseInt(value, low, high);
        if (!parsed) {
            return std::optional<std::string>(invalid(value, "a number in range"));
        }
        settings.*member = *parsed;
        return std::optional<std::string>();
    };
}

template <typename Owner, typename Enum>
Apply choice(Enum Owner::*member, std::map<std::string, Enum> choices, const char* expected) {
    return [member, choices = std::move(choices), expected](Settings& settings, Faults& faults,
                                                            const std::string& value) {
        auto parsed = parseChoice(value, choices);
        if (!parsed) {
            return std::optional<std::string>(invalid(value, expected));
        }
        ownerOf<Owner>(settings, faults).*member = *parsed;
        return std::optional<std::string>();
    };
}

const std::map<std::string, Apply>& settingTable() {
    static const std::map<std::string, Apply> table = {
        // The modem and the network.
        {"manufacturer", text(&Settings::manufacturer)},
        {"model", text(&Settings::model)},
        {"revision", text(&Settings::revision)},
        {"imei", text(&Settings::imei)},
        {"imsi", text(&Settings::imsi)},
        {"smsc", text(&Settings::smsc)},
        {"operator_name", text(&Settings::operatorName)},
        {"operator_short_name", text(&Settings::operatorShortName)},
        {"operator_numeric", digits(&Settings::operatorNumeric, false)},
        {"own_number", text(&Settings::ownNumber)},
        {"loopback", text(&Settings::loopbackNumber)},
        {"sim", choice(&Settings::sim,
                       std::map<std::string, SimState>{{"ready", SimState::Ready},
                                                       {"pin", SimState::PinRequired},
                                                       {"absent", SimState::Absent}},
                       "ready, pin or absent")},
        {"registration", number(&Settings::registration, 0, 10)},
        {"gprs_registration", optionalNumber(&Settings::gprsRegistration, 0, 10)},
        {"eps_registration", number(&Settings::epsRegistration, 0, 10)},
        {"cfun", choice(&Settings::functionality,
                        std::map<std::string, int>{{"0", 0}, {"1", 1}, {"4", 4}}, "0, 1 or 4")},
        {"register_delay_ms", milliseconds(&Settings::registerDelay)},
        {"searching_stat", number(&Settings::searchingStat, 0, 11)},
        {"power_up_silence_ms", milliseconds(&Settings::powerUpSilence)},
        {"lagging_replies", number(&Settings::laggingReplies, 0, 1000)},
        {"result_mode", choice(&Settings::resultMode,
                               std::map<std::string, ResultMode>{{"verbose", ResultMode::Verbose},
                                                                 {"numeric", ResultMode::Numeric},
                                                                 {"quiet", ResultMode::Quiet}},
                               "verbose, numeric or quiet")},
        {"sms_ready_ms", milliseconds(&Settings::smsReadyDelay)},
        {"sms_ready_urc", text(&Settings::smsReadyUrc)},
        {"boot_urcs", text(&Settings::bootUrcs)},
        {"signal", number(&Settings::signal, 0, 99)},
        {"capacity_sm", number(&Settings::capacitySm, 0, 255)},
        {"capacity_me", number(&Settings::capacityMe, 0, 255)},
        {"capacity_sr", number(&Settings::capacitySr, 0, 255)},
        {"first_reference", number(&Settings::firstReference, 0, 255)},
        {"send_delay_ms", milliseconds(&Settings::sendDelay)},
        {"report_delay_ms", milliseconds(&Settings::reportDelay)},
        {"loopback_delay_ms", milliseconds(&Settings::loopbackDelay)},
        {"cnma_timeout_ms", milliseconds(&Settings::acknowledgeTimeout)},
        {"report",
         choice(&Settings::reportOutcome,
                std::map<std::string, ReportOutcome>{{"delivered", ReportOutcome::Delivered},
                                                     {"failed", ReportOutcome::Failed},
                                                     {"expired", ReportOutcome::Expired},
                                                     {"trying", ReportOutcome::TryingThenFinal},
                                                     {"none", ReportOutcome::None}},
                "delivered, failed, expired, trying or none")},
        {"report_number",
         choice(&Settings::reportNumber,
                std::map<std::string, ReportNumber>{{"as_sent", ReportNumber::AsSent},
                                                    {"national", ReportNumber::National},
                                                    {"international", ReportNumber::International}},
                "as_sent, national or international")},
        {"country_code", digits(&Settings::countryCode, false)},
        {"trunk_prefix", digits(&Settings::trunkPrefix, true)},
        // Faults.
        {"silent", flag(&Faults::silent)},
        {"split_bytes", flag(&Faults::splitBytes)},
        {"echo_stuck", flag(&Faults::echoStuck)},
        {"urc_flood", flag(&Faults::urcFlood)},
        {"urc_flood_period_ms", milliseconds(&Faults::urcFloodPeriod)},
        {"urc_in_reply",
         choice(&Faults::urcInReply,
                std::map<std::string, UrcInReply>{{"never", UrcInReply::Never},
                                                  {"sometimes", UrcInReply::Sometimes},
                                                  {"always", UrcInReply::Always}},
                "never, sometimes or always")},
        {"prompt", choice(&Faults::prompt,
                          std::map<std::string, PromptStyle>{{"standard", PromptStyle::Standard},
                                                             {"bare", PromptStyle::Bare},
                                                             {"crlf", PromptStyle::CrLf}},
                          "standard, bare or crlf")},
        {"cpin_without_ok", flag(&Faults::cpinWithoutOk)},
        {"fail_send", number(&Faults::failSend, 0, 1'000'000)},
        {"fail_send_code", number(&Faults::failSendCode, 0, 1023)},
        {"send_result",
         choice(&Faults::sendResult,
                std::map<std::string, SendResult>{{"standard", SendResult::Standard},
                                                  {"error_500", SendResult::Error500},
                                                  {"error", SendResult::Error},
                                                  {"none", SendResult::None}},
                "standard, error_500, error or none")},
        {"sim_busy", number(&Faults::simBusyCommands, 0, 1'000'000)},
        {"storage_full", flag(&Faults::storageFull)},
        {"command_delay_ms", milliseconds(&Faults::commandDelay)},
        {"sleepy_first_reply_ms", milliseconds(&Faults::sleepyFirstReply)},
        {"sleepy_idle_ms", milliseconds(&Faults::sleepyIdle)},
        {"command_not_support", flag(&Faults::commandNotSupport)},
        {"csms_stuck", flag(&Faults::csmsStuck)},
        {"indications_elsewhere", flag(&Faults::indicationsElsewhere)},
        {"cds_form", choice(&Faults::cdsForm,
                            std::map<std::string, CdsForm>{{"standard", CdsForm::Standard},
                                                           {"no_space", CdsForm::NoSpace},
                                                           {"comma", CdsForm::Comma}},
                            "standard, no_space or comma")},
        {"urc_inside_response", flag(&Faults::urcInsideResponse)},
        {"route_and_store", flag(&Faults::routeAndStore)},
        {"refuse_cnmi_mode2", flag(&Faults::refuseCnmiMode2)},
        {"refuse_cnmi_ds1", flag(&Faults::refuseCnmiDs1)},
        {"reports_in_sm", flag(&Faults::reportsInSm)},
        {"cmgr_without_stat", flag(&Faults::cmgrWithoutStat)},
        {"cmgl_without_alpha", flag(&Faults::cmglWithoutAlpha)},
        {"atz_error", flag(&Faults::atzError)},
        {"sms_not_ready_plain", flag(&Faults::smsNotReadyPlain)},
        {"narrow_ranges", flag(&Faults::narrowRanges)},
        {"prompt_after_refusal", flag(&Faults::promptAfterRefusal)},
        {"mms_push_cmti", flag(&Faults::mmsPushIndication)},
    };
    return table;
}

} // namespace

std::optional<std::string> applySetting(Settings& settings, Faults& faults, const std::string& name,
                                        const std::string& value) {
    auto found = settingTable().find(name);
    if (found == settingTable().end()) {
        return "unknown setting '" + name + "'";
    }
    return found->second(settings, faults, value);
}

} // namespace modemsim
