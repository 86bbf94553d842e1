// The SMS logic that needs no modem: how a send ended, report matching, reassembly, record
// cuts, numbers, start arguments.
#include "delivered_messages.h"
#include "delivery_tracker.h"
#include "message_reassembler.h"
#include "record_writer.h"
#include "send_outcome.h"
#include "service_options.h"
#include "submit_builder.h"

#include <sms/pdu.h>
#include <sms/tpdu.h>

#include <gtest/gtest.h>

#include <cstring>
#include <variant>

namespace kelbrin {
namespace {

using namespace std::chrono_literals;
using TimePoint = std::chrono::steady_clock::time_point;

const TimePoint kT0 = TimePoint() + 1000h;

TEST(DeliveryTracker, MatchesReferenceRecipientAndTime) {
    struct Row {
        const char* name;
        const char* sent;
        uint8_t reference;
        const char* reported;
        uint8_t status;
        std::chrono::hours after;
        bool matched;
        std::optional<DeliveryOutcome> expected;
    };
    const char* german = "+49 152 599 11630";
    const std::vector<Row> rows = {
        {"delivered", german, 7, "+4915259911630", 0x00, 0h, true, DeliveryOutcome::Delivered},
        {"national form in the report", german, 7, "015259911630", 0x00, 0h, true,
         DeliveryOutcome::Delivered},
        {"trunk prefix 8 in the report", "+79161234567", 7, "89161234567", 0x40, 0h, true,
         DeliveryOutcome::Failed},
        {"international report for a national send", "89161234567", 7, "+79161234567", 0x00, 0h,
         true, DeliveryOutcome::Delivered},
        {"short numbers compare whole", "+1234", 7, "1234", 0x00, 0h, true,
         DeliveryOutcome::Delivered},
        {"short number, other digits", "+1234", 7, "01234", 0x00, 0h, false, std::nullopt},
        {"no digits: the reference alone", german, 7, "", 0x00, 0h, true,
         DeliveryOutcome::Delivered},
        {"permanent failure", german, 7, "+4915259911630", 0x40, 0h, true, DeliveryOutcome::Failed},
        {"gave up after temporary error", german, 7, "+4915259911630", 0x62, 0h, true,
         DeliveryOutcome::Failed},
        {"still trying decides nothing", german, 7, "+4915259911630", 0x21, 0h, true, std::nullopt},
        {"reserved status decides nothing", german, 7, "+4915259911630", 0x80, 0h, true,
         std::nullopt},
        {"other reference", german, 8, "+4915259911630", 0x00, 0h, false, std::nullopt},
        {"other recipient", german, 7, "+4915259911631", 0x00, 0h, false, std::nullopt},
        {"other recipient, seventh digit from the end", german, 7, "+4915258911630", 0x00, 0h,
         false, std::nullopt},
        {"too late", german, 7, "+4915259911630", 0x00, 100h, false, std::nullopt},
    };
    for (const auto& row : rows) {
        DeliveryTracker tracker;
        tracker.partSent(5, 1, 7, row.sent, kT0);
        const auto verdict =
            tracker.reportReceived(row.reference, row.reported, row.status, kT0 + row.after);
        EXPECT_EQ(verdict.matched, row.matched) << row.name;
        EXPECT_EQ(verdict.decided ? std::optional(verdict.decided->second) : std::nullopt,
                  row.expected)
            << row.name;
        if (verdict.decided) {
            EXPECT_EQ(verdict.decided->first, 5) << row.name;
        }
        // A decided message leaves at once; an undecided one stays for the report window.
        EXPECT_EQ(tracker.partsKept(), verdict.decided || row.after > 72h ? 0u : 1u) << row.name;
    }
}

TEST(DeliveryTracker, MultipartIsDeliveredOnlyWhenEveryPartIs) {
    DeliveryTracker tracker;
    for (uint8_t reference : {uint8_t{10}, uint8_t{11}, uint8_t{12}}) {
        tracker.partSent(3, 3, reference, "+111", kT0);
    }
    EXPECT_FALSE(tracker.reportReceived(10, "+111", 0, kT0).decided);
    EXPECT_FALSE(tracker.reportReceived(12, "+111", 0, kT0).decided);
    const auto repeated = tracker.reportReceived(12, "+111", 0, kT0);
    EXPECT_FALSE(repeated.decided) << "a repeated report counts once";
    EXPECT_TRUE(repeated.matched) << "and is not one that matches nothing";
    const auto outcome = tracker.reportReceived(11, "+111", 0, kT0).decided;
    ASSERT_TRUE(outcome);
    EXPECT_EQ(*outcome, std::make_pair(3, DeliveryOutcome::Delivered));
    EXPECT_EQ(tracker.partsKept(), 0u) << "every part of a decided message goes";
    const auto late = tracker.reportReceived(11, "+111", 0x40, kT0 + 1s);
    EXPECT_TRUE(late.matched) << "a repeated report for a decided message is still ours";
    EXPECT_FALSE(late.decided) << "and decides nothing again";
}

TEST(DeliveryTracker, WrappedReferenceMatchesTheNewestPart) {
    DeliveryTracker tracker;
    tracker.partSent(1, 1, 200, "+111", kT0);
    tracker.partSent(2, 1, 200, "+111", kT0 + 1h); // 256 messages later the reference repeats
    const auto outcome = tracker.reportReceived(200, "+111", 0x40, kT0 + 1h).decided;
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->first, 2);
}

TEST(SendOutcome, EachWayASendCanEndHasItsClass) {
    struct Row {
        const char* name;
        AtOutcome outcome;
        bool prompted; ///< the PDU went out
        FinalKind final;
        std::optional<int> code;
        SendOutcome expected;
        bool retried = false;
    };
    using O = AtOutcome;
    using F = FinalKind;
    const auto sent = SendOutcome::Sent;
    const auto failed = SendOutcome::Failed;
    const auto unknown = SendOutcome::Undetermined;
    const std::vector<Row> rows = {
        {"OK", O::Final, true, F::Ok, {}, sent},
        {"before the prompt: refused", O::Final, false, F::CmsError, 330, failed},
        {"before the prompt: no network", O::Final, false, F::CmsError, 331, failed, true},
        {"no prompt", O::NoPrompt, false, F::Error, {}, failed},
        {"an earlier answer where the prompt should be", O::OutOfStep, false, F::Ok, {}, failed},
        {"unassigned number", O::Final, true, F::CmsError, 1, failed},
        {"transfer rejected", O::Final, true, F::CmsError, 21, failed},
        {"network out of order", O::Final, true, F::CmsError, 38, failed, true},
        {"temporary failure", O::Final, true, F::CmsError, 41, failed, true},
        {"congestion", O::Final, true, F::CmsError, 42, failed, true},
        {"resources unavailable", O::Final, true, F::CmsError, 47, failed, true},
        {"TP-FCS: invalid destination", O::Final, true, F::CmsError, 195, failed},
        {"TP-FCS: unspecified", O::Final, true, F::CmsError, 255, failed},
        {"invalid PDU", O::Final, true, F::CmsError, 304, failed},
        {"no service centre", O::Final, true, F::CmsError, 330, failed},
        {"no network service", O::Final, true, F::CmsError, 331, failed, true},
        {"MM establishment failure", O::Final, true, F::CmsError, 512, failed, true},
        {"CP error", O::Final, true, F::CmsError, 514, failed, true},
        {"init in progress", O::Final, true, F::CmsError, 515, failed},
        {"ME failure", O::Final, true, F::CmsError, 300, unknown},
        {"reserved 306", O::Final, true, F::CmsError, 306, unknown},
        {"network timeout", O::Final, true, F::CmsError, 332, unknown},
        {"unknown error", O::Final, true, F::CmsError, 500, unknown},
        {"lower layer failure", O::Final, true, F::CmsError, 513, unknown},
        {"a vendor's own number (Quectel M08R)", O::Final, true, F::CmsError, 3870, unknown},
        {"+CMS ERROR in words", O::Final, true, F::CmsError, {}, unknown},
        {"bare ERROR", O::Final, true, F::Error, {}, unknown},
        {"+CME ERROR", O::Final, true, F::CmeError, 100, unknown},
        {"no result in time", O::Timeout, true, F::Error, {}, unknown},
        {"restart", O::Restarted, true, F::Error, {}, unknown},
        {"port lost", O::PortLost, true, F::Error, {}, unknown},
        {"stopped", O::Stopped, true, F::Error, {}, unknown},
    };
    for (const auto& row : rows) {
        AtReply reply;
        reply.outcome = row.outcome;
        reply.prompted = row.prompted;
        reply.final = row.final;
        reply.errorCode = row.code;
        EXPECT_EQ(sendOutcomeOf(reply), row.expected) << row.name;
        EXPECT_EQ(isTemporaryRefusal(reply), row.retried) << row.name;
    }
}

TEST(DeliveredMessages, NeitherDuplicatesNorSwallowsEqualMessages) {
    DeliveredMessages delivered;
    EXPECT_TRUE(delivered.takeStored({"SM", 1}, "a", kT0));
    EXPECT_FALSE(delivered.takeStored({"SM", 1}, "a", kT0 + 1s)) << "delete failed, listed again";
    EXPECT_TRUE(delivered.takeStored({"SM", 2}, "a", kT0)) << "an equal message in another slot";
    delivered.handedOver({"SM", 1});
    EXPECT_TRUE(delivered.awaitsDelete({"SM", 1}));
    EXPECT_TRUE(delivered.takeStored({"SM", 1}, "b", kT0)) << "slot refilled behind our back";
    EXPECT_FALSE(delivered.awaitsDelete({"SM", 1})) << "the new message is not handed over yet";
    delivered.slotFreed({"SM", 1});
    EXPECT_TRUE(delivered.takeStored({"SM", 1}, "b", kT0 + 10min)) << "deleted, then equal again";

    DeliveredMessages huawei; // routes and stores every message
    EXPECT_TRUE(huawei.takeRouted("r", kT0));
    EXPECT_FALSE(huawei.takeStored({"SM", 3}, "r", kT0 + 1s)) << "the stored twin";
    EXPECT_TRUE(huawei.awaitsDelete({"SM", 3})) << "a twin is deleted without being handed out";
    EXPECT_TRUE(huawei.takeStored({"SM", 4}, "r", kT0 + 2s)) << "a twin pairs only once";
    EXPECT_FALSE(huawei.takeRouted("r", kT0 + 2s)) << "routed twin of the second stored copy";
    EXPECT_TRUE(huawei.takeRouted("s", kT0));
    EXPECT_TRUE(huawei.takeRouted("s", kT0)) << "two equal routed messages are two";
    EXPECT_TRUE(huawei.takeStored({"SM", 5}, "s", kT0 + 6min)) << "too late to be a twin";
}

TEST(MessageReassembler, PartsInAnyOrderMakeOneMessage) {
    MessageReassembler reassembler;
    const MessageSlot sm3{"SM", 3};
    EXPECT_FALSE(reassembler.addPart("+1", "2024-01-01 10:00:02", 9, 3, 3, "C", sm3, kT0));
    EXPECT_FALSE(
        reassembler.addPart("+1", "2024-01-01 10:00:00", 9, 3, 1, "A", MessageSlot{"SM", 1}, kT0));
    EXPECT_FALSE(reassembler.addPart("+2", "2024-01-01 10:00:00", 9, 3, 2, "x", {}, kT0))
        << "same reference, other sender";
    EXPECT_FALSE(
        reassembler.addPart("+1", "2024-01-01 10:00:00", 9, 3, 1, "A", MessageSlot{"ME", 7}, kT0))
        << "a repeated part";
    const auto whole = reassembler.addPart("+1", "2024-01-01 10:00:01", 9, 3, 2, "B", {}, kT0);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->text, "ABC");
    EXPECT_EQ(whole->timestamp, "2024-01-01 10:00:00") << "the first part's time";
    EXPECT_EQ(whole->slots, (std::vector<MessageSlot>{sm3, {"SM", 1}, {"ME", 7}}))
        << "every stored copy is deleted once the message is handed over";
}

TEST(MessageReassembler, TimeoutHandsOutWhatArrivedMarked) {
    MessageReassembler reassembler;
    reassembler.addPart("+1", "t", 4, 3, 2, "middle", {}, kT0);
    reassembler.addPart("+9", "t", 5, 2, 1, "young", {}, kT0 + 5s);
    EXPECT_EQ(reassembler.oldestFirstSeen(), kT0);
    EXPECT_TRUE(reassembler.takeExpired(kT0 + 9s, 10s).empty());
    const auto expired = reassembler.takeExpired(kT0 + 10s, 10s);
    ASSERT_EQ(expired.size(), 1u);
    EXPECT_EQ(expired[0].text, "[part 1 of 3 missing]middle[part 3 of 3 missing]");
    const auto rest = reassembler.takeExpired(kT0 + 15s, 10s);
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(rest[0].text, "young[part 2 of 2 missing]");
}

TEST(RecordWriter, CutsOnlyOnCharacterBoundaries) {
    struct Row {
        const char* name;
        std::string text;
        std::size_t width;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"fits", "abc", 8, "abc"},
        {"exactly width-1", "abcdefg", 8, "abcdefg"},
        {"ascii cut", "abcdefghij", 8, "abcdefg"},
        {"3-byte char at the cut moves whole", "abcdef中", 8, "abcdef"},
        {"4-byte char at the cut", "abcde😀", 8, "abcde"},
        {"4-byte char just fits", "abc😀x", 8, "abc😀"},
        {"malformed continuation run still advances", std::string(10, '\x80'), 4,
         std::string(3, '\x80')},
    };
    for (const auto& row : rows) {
        char field[16];
        std::memset(field, 'Z', sizeof field);
        const std::size_t taken = writeTextField(row.text, field, row.width);
        EXPECT_EQ(std::string(field, taken), row.expected) << row.name;
        EXPECT_EQ(field[taken], '\0') << row.name;
        EXPECT_EQ(field[row.width - 1], '\0') << row.name << ": zero-filled";
        EXPECT_EQ(field[row.width], 'Z') << row.name << ": nothing beyond the width";
    }
}

TEST(RecordWriter, NulCharactersBecomeReplacementCharacters) {
    std::string text("a\0b\0\0c", 6);
    replaceNulCharacters(text);
    EXPECT_EQ(text, "a\xEF\xBF\xBD"
                    "b\xEF\xBF\xBD\xEF\xBF\xBD"
                    "c");
}

TEST(SubmitBuilder, NormalisesTypedNumbers) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> rows = {
        {"+49 152-599 (11630)", "+4915259911630"},
        {"10086", "10086"},
        {"*100#", "*100#"},
        {"", std::nullopt},
        {"+", std::nullopt},
        {"12+34", std::nullopt},
        {"call me", std::nullopt},
        {"123456789012345678901", std::nullopt}, // 21 digits
    };
    for (const auto& [typed, expected] : rows) {
        EXPECT_EQ(normalisePhoneNumber(typed), expected) << typed;
    }
}

TEST(SubmitBuilder, PartsAskForReportsAndCarryTheText) {
    struct Row {
        const char* name;
        std::string text;
        std::size_t parts;
    };
    const std::vector<Row> rows = {
        {"gsm single", std::string(160, 'a'), 1},
        {"gsm two parts", std::string(161, 'a'), 2},
        {"ucs2 single", std::string("中") + std::string(69, 'a'), 1},
        {"ucs2 two parts", std::string("中") + std::string(70, 'a'), 2},
    };
    for (const auto& row : rows) {
        const auto plan = buildSubmitParts(row.text, "+4915259911630", 42);
        ASSERT_TRUE(plan.error.empty()) << row.name << plan.error.english();
        ASSERT_EQ(plan.parts.size(), row.parts) << row.name;
        std::string joined;
        for (const auto& part : plan.parts) {
            const auto pdu = sms::decodePdu(part.hex, static_cast<std::size_t>(part.tpduLength));
            ASSERT_TRUE(pdu) << row.name;
            const auto& submit = std::get<sms::Submit>(pdu->tpdu);
            EXPECT_TRUE(submit.statusReportRequest) << row.name;
            EXPECT_EQ(submit.destination.text, "+4915259911630");
            joined += submit.userData.text;
        }
        EXPECT_EQ(joined, row.text) << row.name;
    }
    EXPECT_NE(buildSubmitParts("x", "abc", 1).error.english().find("not a phone number"),
              std::string::npos);
}

TEST(ServiceOptions, ChecksTheFixedArguments) {
    const EnvironmentLookup environment = [](const std::string& name) {
        return name == "KELBRIN_PROMPT_TIMEOUT_MS"   ? std::optional<std::string>("250")
               : name == "KELBRIN_RESULT_TIMEOUT_MS" ? std::optional<std::string>("900")
               : name == "KELBRIN_SEND_TIMEOUT_MS"   ? std::optional<std::string>("7")
                                                     : std::nullopt;
    };
    const auto good = sessionSettingsFor({2, 9600, 2, 8, 0, 1, "card"}, environment);
    ASSERT_TRUE(good.error.empty()) << good.error.english();
    EXPECT_EQ(good.settings.port.path, "/dev/ttyS1");
    EXPECT_TRUE(good.settings.port.rtsCts);
    EXPECT_EQ(good.settings.storage, "SM");
    EXPECT_EQ(good.settings.timings.prompt, 250ms);
    EXPECT_EQ(good.settings.timings.sendResult, 900ms) << "the old knob is gone";
    EXPECT_EQ(sessionSettingsFor({1, 9600, 7, 8, 0, 0, "phone"}, environment).settings.storage,
              "ME")
        << "mode is reserved and not checked";
    EXPECT_EQ(sessionSettingsFor({1, 9600, 2, 8, 0, 0, nullptr}, environment).settings.storage,
              "SM");
    for (const StartArguments& bad :
         {StartArguments{0, 9600, 2, 8, 0, 0, "card"}, StartArguments{1, 9600, 2, 7, 0, 0, "card"},
          StartArguments{1, 9600, 2, 8, 1, 0, "card"}, StartArguments{1, 9600, 2, 8, 0, 0, "SM"}}) {
        EXPECT_FALSE(sessionSettingsFor(bad, environment).error.empty());
    }
}

} // namespace
} // namespace kelbrin
