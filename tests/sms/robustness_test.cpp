// Malformed input: the published negative vectors, every good vector cut short at every length,
// and every single-bit and whole-byte corruption. Decoders must answer with an error value or a
// sane message, never read past their input (the asan preset checks that).

#include "pdu_vectors.h"

#include "sms/data_coding.h"
#include "sms/hex.h"
#include "sms/pdu.h"
#include "sms/utf.h"

#include <gtest/gtest.h>

namespace {

TEST(Robustness, NegativeVectorsAreErrors) {
    struct Row {
        std::string_view name;
        std::string hex;
        sms::Error error;
    };
    const Row rows[] = {
        {"no address (MM)", "000ABF00", sms::Error::Truncated},
        {"address longer than the PDU (MM)", "001C011C", sms::Error::Truncated},
        {"user data header with no user data (MM)", "004100010100014B00002E",
         sms::Error::BadUserDataHeader},
        {"UDHI set, UDL 0 (MM)", "00F101010C0000000000", sms::Error::BadUserDataHeader},
        {"truncated service centre (gammu 39)", "91947122982661", sms::Error::Truncated},
        {"empty SIM record (gammu 33)", "00" + std::string(352, 'F'),
         sms::Error::ReservedMessageType},
        {"non-hex '=' (gammu 13)", "0791=4", sms::Error::BadHex},
        {"non-hex 'p' (gammu 17)", "07p1", sms::Error::BadHex},
        {"non-hex '*'", "07*1", sms::Error::BadHex},
        {"MTI 11 (PG)", "0043010C910661345542F60008A0050003000301306F3044",
         sms::Error::ReservedMessageType},
        {"garbage (PG)", "AFSDSDF LJJFKLDJKLFJ# #$KJLKJL SF", sms::Error::BadHex},
        {"empty", "", sms::Error::Truncated},
        {"service centre only", "0791448720003023", sms::Error::Truncated},
        {"header length beyond user data", "004004911432000811101171955140040400000000",
         sms::Error::BadUserDataHeader},
        {"element beyond header", "00400491143200081110117195514004030005030048",
         sms::Error::BadUserDataHeader},
        {"GSM header longer than UDL septets", "0040049114320000111011719551400105000317020100",
         sms::Error::BadUserDataHeader},
        {"absolute validity cut short", "0019000491143200001110117195", sms::Error::Truncated},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto pdu = sms::decodePdu(row.hex);
        ASSERT_FALSE(pdu);
        EXPECT_EQ(pdu.error(), row.error) << sms::describe(pdu.error());
    }
}

TEST(Robustness, DeliverWithUserDataCutShortKeepsWhatArrived) {
    struct Row {
        std::string_view name;
        std::string hex;
        std::string sender;
        std::string text;
    };
    const std::string chinese(sms_test::vectorNamed("ucs2_chinese").hex);
    const std::string megafon(sms_test::vectorNamed("pg_megafon_ucs2_concat").hex);
    const Row rows[] = {
        {"UDL 11 with data for 10 septets (MM)",
         "07912143658709F1040B918100551512F20000111010214365000BE8329BFD4697D9EC37", "+18005551212",
         "hellohello"},
        {"UCS2 cut inside a character", chinese.substr(0, chinese.size() - 2), "+8613814120678",
         "你"},
        {"UCS2 announcing more than it holds",
         chinese.substr(0, chinese.size() - 10) + "0A" + chinese.substr(chinese.size() - 8),
         "+8613814120678", "你好"},
        {"UCS2 cut between the halves of a surrogate pair",
         chinese.substr(0, chinese.size() - 10) + "08" + chinese.substr(chinese.size() - 8) +
             "D83D",
         "+8613814120678", "你好"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto pdu = sms::decodePdu(row.hex);
        ASSERT_TRUE(pdu) << sms::describe(pdu.error());
        const auto* deliver = std::get_if<sms::Deliver>(&pdu->tpdu);
        ASSERT_NE(deliver, nullptr);
        EXPECT_TRUE(deliver->userData.truncated);
        EXPECT_EQ(deliver->originator.text, row.sender);
        EXPECT_EQ(deliver->userData.text, row.text);
    }
    // A cut concatenated part keeps its header, so it still joins its siblings.
    const auto part = sms::decodePdu(megafon.substr(0, megafon.size() - 20));
    ASSERT_TRUE(part);
    const auto& userData = std::get<sms::Deliver>(part->tpdu).userData;
    EXPECT_TRUE(userData.truncated);
    ASSERT_TRUE(userData.concatenation);
    EXPECT_EQ(userData.concatenation->sequence, 1);
}

// What a decoder returns must be safe to pass on: text is valid UTF-8 unless it is raw 8-bit
// data, and formatting the time stamps works.
void expectSane(const sms::ReceivedPdu& pdu) {
    const auto validUtf8 = [](const std::string& text) {
        return sms::codePointsToUtf8(sms::utf8ToCodePoints(text)) == text;
    };
    std::visit(
        [&](const auto& message) {
            using T = std::decay_t<decltype(message)>;
            if constexpr (std::is_same_v<T, sms::StatusReport>) {
                EXPECT_TRUE(validUtf8(message.recipient.text));
                EXPECT_EQ(sms::formatTimestamp(message.dischargeTime).size(), 19u);
            } else {
                if (sms::alphabetOf(message.dataCoding) != sms::Alphabet::Data8) {
                    EXPECT_TRUE(validUtf8(message.userData.text));
                }
                EXPECT_LE(message.userData.text.size(), 4u * 255u);
            }
        },
        pdu.tpdu);
    if (pdu.serviceCentre) {
        EXPECT_TRUE(validUtf8(pdu.serviceCentre->text));
    }
}

TEST(Robustness, EveryPrefixOfAGoodVectorIsAnError) {
    for (const auto& vector : sms_test::kGoodVectors) {
        SCOPED_TRACE(vector.name);
        auto bytes = sms::fromHex(vector.hex);
        ASSERT_TRUE(bytes);
        // Padded vectors decode once the fields are complete; only shorter cuts must fail.
        const std::size_t complete = vector.trailingOctets ? 32 : bytes->size();
        for (std::size_t length = 0; length < bytes->size(); ++length) {
            const sms::Bytes prefix(bytes->begin(), bytes->begin() + static_cast<long>(length));
            const auto pdu = sms::decodePdu(sms::toHex(prefix));
            if (length < complete) {
                // Only a DELIVER cut inside its user data decodes, and it says it was cut.
                const auto* deliver = pdu ? std::get_if<sms::Deliver>(&pdu->tpdu) : nullptr;
                EXPECT_TRUE(!pdu || (deliver && deliver->userData.truncated))
                    << "cut at " << length;
            } else if (pdu) {
                expectSane(*pdu);
            }
            // The bare TPDU, without the service-centre field, must not read past either.
            const auto tpdu = sms::decodeTpdu(prefix);
            (void)tpdu;
        }
    }
}

TEST(Robustness, CorruptedOctetsNeverBreakTheDecoder) {
    std::size_t decoded = 0;
    std::size_t rejected = 0;
    for (const auto& vector : sms_test::kGoodVectors) {
        SCOPED_TRACE(vector.name);
        const auto bytes = sms::fromHex(vector.hex);
        ASSERT_TRUE(bytes);
        for (std::size_t position = 0; position < bytes->size(); ++position) {
            for (const unsigned mask :
                 {0x01u, 0x02u, 0x04u, 0x08u, 0x10u, 0x20u, 0x40u, 0x80u, 0xFFu}) {
                sms::Bytes corrupted = *bytes;
                corrupted[position] = static_cast<std::uint8_t>(corrupted[position] ^ mask);
                const auto pdu = sms::decodePdu(sms::toHex(corrupted), vector.tpduLength);
                if (pdu) {
                    ++decoded;
                    expectSane(*pdu);
                    // What decoded must encode again without tripping over its own fields.
                    const auto again = sms::encodePdu(pdu->tpdu, pdu->serviceCentre);
                    (void)again;
                } else {
                    ++rejected;
                }
            }
        }
    }
    // Both outcomes occur: corruption is neither always fatal nor always silently accepted.
    EXPECT_GT(decoded, 0u);
    EXPECT_GT(rejected, 0u);
}

} // namespace
