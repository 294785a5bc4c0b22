// SNMP v3 messages with the user-based security model (RFC 3414), as a
// manager sends and reads them: discovery of the agent's engine, then
// requests with authentication (HMAC, RFC 3414/7860) and privacy (AES-128,
// RFC 3826; or DES, RFC 3414 8). A reply is read only when it is well-formed, and a response
// only when its digest is right.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/snmp/ber.h"
#include "platform/snmp/crypto.h"

namespace vx::platform::snmp {

// The agent's engine as discovered, its clock kept as an offset from ours.
struct Engine {
    std::string id;
    std::int32_t boots = 0;
    std::int32_t time = 0;
    double at = 0;  // when `time` was learned (monotonic seconds)
};

// A user with the keys localised to one engine; none of them for discovery.
struct UsmKeys {
    std::string user;
    Hash hash = Hash::SHA256;
    std::size_t macLength = 24;  // the digest's length on the wire
    std::string authKey;         // localised
    std::string privKey;         // localised, the first 16 bytes used
    bool des = false;            // privacy by DES: privKey's first 8 bytes the key, the next 8 the pre-IV
};

// The digest's length on the wire for a hash (RFC 3414, RFC 7860).
std::size_t MacLength(Hash hash);

// A request: the PDU (ber.h's EncodePdu) in its envelope; without keys, a
// discovery request (no user, no security). `now` in monotonic seconds,
// `salt` a number never used before with these keys.
std::string EncodeV3(std::int32_t messageId, const Engine& engine, const UsmKeys* keys, const std::string& pdu,
                     double now, std::uint64_t salt);

struct V3Reply {
    std::int32_t messageId = 0;
    bool authenticated = false;  // the digest was checked and right (privacy too)
    Engine engine;               // as the agent says (at: 0)
    std::string user;
    Message message;  // its PDU's fields (version 3, no community)
};

// A reply, or none when it is malformed, carries a wrong digest, or cannot
// be decrypted. Unauthenticated replies (reports of errors) are read without
// keys; `keys` checks and decrypts the others.
std::optional<V3Reply> DecodeV3(const std::uint8_t* data, std::size_t size, const UsmKeys* keys);

// The report's reason (its first binding): usmStats... names.
enum class UsmReport { None, UnsupportedLevel, NotInTime, UnknownUser, UnknownEngine, WrongDigest, Decryption };
UsmReport ReportReason(const Message& report);

}  // namespace vx::platform::snmp
