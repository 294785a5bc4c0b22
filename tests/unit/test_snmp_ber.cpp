// Our own SNMP manager's messages: requests as agents expect them, and
// replies read only when well-formed, with every value in its type's range;
// v3's keys and envelope, over whichever cryptography the build has (CNG
// when these run under Wine).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/snmp/ber.h"
#include "platform/snmp/crypto.h"
#include "platform/snmp/usm.h"
#include "tests/support/snmp_messages.h"

namespace vx {
namespace {

using namespace platform::snmp;
using test::Binding;
using test::Bytes;
using test::kHcInOid;
using test::kSysUpTimeOid;
using test::Response;
using test::Tlv;

std::optional<Message> Decode(const std::string& s) {
    return DecodeMessage(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

// One binding's value, from a reply that holds only it.
std::optional<Value> Decoded(const std::string& value) {
    const auto m = Decode(Response(Binding(kHcInOid, value)));
    if (!m || m->bindings.size() != 1) return std::nullopt;
    return m->bindings[0].value;
}

TEST(SnmpBer, RequestsAreEncodedAsAgentsExpectThemAndReadBack) {
    // snmpget -v2c -c public HOST 1.3.6.1.2.1.1.3.0, request id 1, byte for byte.
    EXPECT_EQ(EncodeRequest(kV2c, "public", kGetRequest, 1, {{1, 3, 6, 1, 2, 1, 1, 3, 0}}),
              Bytes({0x30, 0x26, 0x02, 0x01, 0x01, 0x04, 0x06, 'p',  'u',  'b',  'l',  'i',  'c',  0xa0,
                     0x19, 0x02, 0x01, 0x01, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x0e, 0x30, 0x0c,
                     0x06, 0x08, 0x2b, 0x06, 0x01, 0x02, 0x01, 0x01, 0x03, 0x00, 0x05, 0x00}));

    // Large parts, the largest request id, a long community (long-form lengths)
    // and GETBULK's repetitions in the error-index's place.
    const Oid big = {1, 3, 6, 1, 4, 1, 4294967295u, 128, 0};
    const std::string community(300, 'c');
    const auto m = Decode(EncodeRequest(kV1, community, kGetBulkRequest, 2147483647, {big, big}, 32));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->version, kV1);
    EXPECT_EQ(m->community, community);
    EXPECT_EQ(m->pduType, kGetBulkRequest);
    EXPECT_EQ(m->requestId, 2147483647);
    EXPECT_EQ(m->errorIndex, 32);
    ASSERT_EQ(m->bindings.size(), 2u);
    EXPECT_EQ(m->bindings[1].name, big);
    EXPECT_EQ(m->bindings[1].value.type, kNull);
    const auto negative = Decode(EncodeRequest(kV2c, "", kGetNextRequest, -129, {{1, 3}}));
    ASSERT_TRUE(negative);
    EXPECT_EQ(negative->requestId, -129);
}

TEST(SnmpBer, ReplyValuesKeepTheirTypesAndTheWholeRangeOfEach) {
    const auto m = Decode(test::TypicalReply());
    ASSERT_TRUE(m);
    EXPECT_EQ(m->requestId, 12345);
    ASSERT_EQ(m->bindings.size(), 3u);
    EXPECT_EQ(m->bindings[0].name, (Oid{1, 3, 6, 1, 2, 1, 1, 3, 0}));
    EXPECT_EQ(m->bindings[0].value.type, kTimeTicks);
    EXPECT_EQ(Number(m->bindings[0].value), 0x01020304);
    EXPECT_EQ(Number(m->bindings[1].value), 4294967296.0);
    EXPECT_EQ(Text(m->bindings[2].value), "eth0");

    // The largest of each: a leading zero byte keeps the top bit from being a sign.
    const auto top64 = Decoded(Bytes({0x46, 0x09, 0x00, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}));
    ASSERT_TRUE(top64);
    EXPECT_EQ(top64->number, UINT64_MAX);
    const auto top32 = Decoded(Bytes({0x41, 0x05, 0x00, 0xff, 0xff, 0xff, 0xff}));
    ASSERT_TRUE(top32);
    EXPECT_EQ(Number(*top32), 4294967295.0);
    const auto negative = Decoded(Bytes({0x02, 0x02, 0xff, 0x7f}));
    ASSERT_TRUE(negative);
    EXPECT_EQ(Number(*negative), -129);
    // Strings are text a box may show; the agent's absent objects are no numbers.
    const auto odd = Decoded(Tlv(0x04, std::string("wan\x1b[2J\xff", 8) + std::string(300, 'x') + '\0'));
    ASSERT_TRUE(odd);
    const std::string text = Text(*odd);
    EXPECT_EQ(text.size(), 255u);
    EXPECT_EQ(text.substr(0, 8), "wan?[2J?");
    const auto absent = Decoded(Bytes({0x81, 0x00}));
    ASSERT_TRUE(absent);
    EXPECT_EQ(absent->type, kNoSuchInstance);
    EXPECT_FALSE(Number(*absent));
    EXPECT_EQ(Text(*Decoded(Bytes({0x41, 0x01, 0x05}))), "") << "a number is no text";
}

TEST(SnmpBer, AMalformedOrHostileReplyIsNoMessage) {
    const std::string good = test::TypicalReply();
    ASSERT_TRUE(Decode(good));
    for (std::size_t n = 0; n < good.size(); ++n) EXPECT_FALSE(Decode(good.substr(0, n))) << "cut at " << n;
    EXPECT_FALSE(Decode(good + '\0')) << "bytes after the message";
    EXPECT_FALSE(DecodeMessage(nullptr, 0));

    const std::pair<const char*, std::string> values[] = {
        {"a negative counter", Bytes({0x41, 0x01, 0xff})},
        {"a counter over 32 bits", Bytes({0x41, 0x05, 0x01, 0x00, 0x00, 0x00, 0x00})},
        {"a counter64 over 64 bits", Bytes({0x46, 0x09, 0x01, 0, 0, 0, 0, 0, 0, 0, 0})},
        {"a negative counter64", Bytes({0x46, 0x08, 0x80, 0, 0, 0, 0, 0, 0, 0})},
        {"a huge INTEGER", Bytes({0x02, 0x09, 0x00, 0x80, 0, 0, 0, 0, 0, 0, 0})},
        {"an empty INTEGER", Bytes({0x02, 0x00})},
        {"an empty gauge", Bytes({0x42, 0x00})},
        {"a NULL with content", Bytes({0x05, 0x01, 0x00})},
        {"an unknown type", Bytes({0x47, 0x01, 0x00})},
        {"a high tag number", Bytes({0x5f, 0x81, 0x01, 0x00})},
        {"an indefinite length", Bytes({0x04, 0x80, 0x00, 0x00})},
        {"a length of five bytes", Bytes({0x04, 0x85, 0, 0, 0, 0, 1, 'x'})},
        {"a length beyond the reply", Bytes({0x04, 0x84, 0x7f, 0xff, 0xff, 0xff, 'x'})},
        {"an OID part over 32 bits", Tlv(0x06, Bytes({0x2b, 0x90, 0x80, 0x80, 0x80, 0x00}))},
        {"an OID part cut off", Tlv(0x06, Bytes({0x2b, 0x86}))},
        {"an OID of 200 parts", Tlv(0x06, std::string(200, '\x01'))},
    };
    for (const auto& [what, value] : values) EXPECT_FALSE(Decode(Response(Binding(kHcInOid, value)))) << what;

    EXPECT_FALSE(Decode(Response(Binding(kHcInOid, Bytes({0x41, 0x01, 0x01}) + Bytes({0x05, 0x00})))))
        << "a binding with two values";
    EXPECT_FALSE(Decode(Response(Tlv(0x30, Tlv(0x06, kHcInOid))))) << "a binding without a value";
    EXPECT_FALSE(Decode(Response("", "public", Bytes({0x02, 0x05, 0x01, 0, 0, 0, 0})))) << "request id over 32 bits";
    EXPECT_FALSE(Decode(Response("", "public", Tlv(0x04, "id")))) << "request id of the wrong type";
    std::string many;
    for (int i = 0; i < 300; ++i) many += Binding(kSysUpTimeOid, Bytes({0x05, 0x00}));
    EXPECT_FALSE(Decode(Response(many))) << "more bindings than any request asks for";
    std::string pdu = Response("");
    pdu[pdu.find('\xa2')] = static_cast<char>(0xa9);
    EXPECT_FALSE(Decode(pdu)) << "an unknown PDU";
}

std::string Hex(const std::string& bytes) {
    static const char* const kDigits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) (out += kDigits[c >> 4]) += kDigits[c & 15];
    return out;
}

std::string Unhex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

TEST(SnmpV3, KeysAndCipherAreTheStandardsOwn) {
    // RFC 3414 A.3: "maplesyrup" localised to engine 00..02.
    const std::string engine = Unhex("000000000000000000000002");
    const std::string md5 = PassphraseKey(Hash::MD5, "maplesyrup");
    EXPECT_EQ(Hex(md5), "9faf3283884e92834ebc9847d8edd963");
    EXPECT_EQ(Hex(LocalizedKey(Hash::MD5, md5, engine)), "526f5eed9fcce26f8964c2930787d82b");
    const std::string sha = PassphraseKey(Hash::SHA1, "maplesyrup");
    EXPECT_EQ(Hex(sha), "9fb5cc0381497b3793528939ff788d5d79145211");
    EXPECT_EQ(Hex(LocalizedKey(Hash::SHA1, sha, engine)), "6695febc9288e36282235fc7151f128497b38f3f");
    EXPECT_EQ(PassphraseKey(Hash::SHA256, "maplesyrup").size(), 32u);
    // NIST SP 800-38A F.3.13 (CFB128-AES128), cut short of a whole block.
    const std::string key = Unhex("2b7e151628aed2a6abf7158809cf4f3c"), iv = Unhex("000102030405060708090a0b0c0d0e0f");
    const std::string plain = Unhex("6bc1bee22e409f96e93d7e117393172aae2d8a57");
    const std::string secret = AesCfb(true, key, iv, plain);
    EXPECT_EQ(Hex(secret), "3b3fd92eb72dad20333449f8e83cfb4ac8a64537");
    EXPECT_EQ(AesCfb(false, key, iv, secret), plain);
    // FIPS 81's CBC example; DES only where the build has it (not Windows).
    if (HasDes()) {
        const std::string desKey = Unhex("0123456789abcdef"), desIv = Unhex("1234567890abcdef");
        const std::string desSecret = DesCbc(true, desKey, desIv, "Now is the time for all ");
        EXPECT_EQ(Hex(desSecret), "e5c7cdde872bf27c43e934008c389c0f683788499a7c05f6");
        EXPECT_EQ(DesCbc(false, desKey, desIv, desSecret), "Now is the time for all ");
    }
}

TEST(SnmpV3, TheEnvelopeIsReadOnlyWithTheRightKeysAndWhole) {
    Engine engine{Unhex("80001f8880e9630000d61ff449"), 7, 1000, 50};
    UsmKeys keys;
    keys.user = "vxuser";
    keys.authKey = LocalizedKey(Hash::SHA256, PassphraseKey(Hash::SHA256, "loopback-phrase"), engine.id);
    keys.privKey = keys.authKey;
    const std::string pdu = EncodePdu(kGetRequest, 99, {{1, 3, 6, 1, 2, 1, 1, 3, 0}});
    const std::string sent = EncodeV3(99, engine, &keys, pdu, 60, 12345);
    EXPECT_EQ(sent.find("sysUpTime"), std::string::npos);
    auto read = [](const std::string& s, const UsmKeys* k) {
        return DecodeV3(reinterpret_cast<const std::uint8_t*>(s.data()), s.size(), k);
    };
    const auto r = read(sent, &keys);
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->authenticated);
    EXPECT_EQ(r->messageId, 99);
    EXPECT_EQ(r->engine.time, 1010) << "the engine's clock moved on with ours";
    EXPECT_EQ(r->engine.boots, 7);
    EXPECT_EQ(r->message.requestId, 99);
    ASSERT_EQ(r->message.bindings.size(), 1u);
    EXPECT_EQ(r->message.bindings[0].name, (Oid{1, 3, 6, 1, 2, 1, 1, 3, 0}));

    UsmKeys wrong = keys;
    wrong.authKey[0] ^= 1;
    EXPECT_FALSE(read(sent, &wrong)) << "a wrong digest";
    EXPECT_FALSE(read(sent, nullptr)) << "no keys for an authenticated message";
    for (std::size_t at = 0; at < sent.size(); ++at) {
        std::string changed = sent;
        changed[at] ^= 0x20;
        EXPECT_FALSE(read(changed, &keys)) << "byte " << at << " changed";
    }
    for (std::size_t n = 0; n < sent.size(); ++n) EXPECT_FALSE(read(sent.substr(0, n), &keys)) << "cut at " << n;

    // DES: the PDU padded to whole blocks, read back past the padding; the
    // same bytes are no message to AES's keys.
    if (HasDes()) {
        UsmKeys des = keys;
        des.des = true;
        const std::string desSent = EncodeV3(100, engine, &des, pdu, 60, 777);
        const auto back = read(desSent, &des);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->message.requestId, 99);
        EXPECT_FALSE(read(desSent, &keys));
    }

    // Discovery: no user, no security, and the agent's report read without keys.
    const std::string probe = EncodeV3(5, {}, nullptr, EncodePdu(kGetRequest, 5, {}), 0, 0);
    const auto d = read(probe, nullptr);
    ASSERT_TRUE(d);
    EXPECT_FALSE(d->authenticated);
    EXPECT_TRUE(d->engine.id.empty());
    Message report;
    report.bindings.push_back({{1, 3, 6, 1, 6, 3, 15, 1, 1, 5, 0}, {}});
    EXPECT_EQ(ReportReason(report), UsmReport::WrongDigest);
}

}  // namespace
}  // namespace vx
