// SNMP v3's envelope and user-based security, over ber.h and crypto.h.
#include "platform/snmp/usm.h"

#include <algorithm>

namespace vx::platform::snmp {

namespace {

constexpr std::uint8_t kAuthFlag = 0x01, kPrivFlag = 0x02, kReportableFlag = 0x04;
constexpr std::int32_t kUsm = 3;
constexpr std::int32_t kMaxSize = 65507;
constexpr std::size_t kLongestId = 32;

std::string BigEndian32(std::uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>(v >> (24 - 8 * i));
    return s;
}

std::string Iv(std::int32_t boots, std::int32_t time, const std::string& salt) {
    return BigEndian32(static_cast<std::uint32_t>(boots)) + BigEndian32(static_cast<std::uint32_t>(time)) + salt;
}

// DES's IV: the key's pre-IV with the salt laid over it.
std::string DesIv(const std::string& privKey, const std::string& salt) {
    std::string iv = privKey.substr(8, 8);
    for (std::size_t i = 0; i < iv.size() && i < salt.size(); ++i) iv[i] = static_cast<char>(iv[i] ^ salt[i]);
    return iv;
}

// Equal without leaving the time it took to tell as a hint.
bool SameBytes(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char differ = 0;
    for (std::size_t i = 0; i < a.size(); ++i) differ |= static_cast<unsigned char>(a[i] ^ b[i]);
    return differ == 0;
}

}  // namespace

std::string PassphraseKey(Hash hash, const std::string& phrase) {
    if (phrase.empty()) return {};
    std::string megabyte(1048576, '\0');
    for (std::size_t i = 0; i < megabyte.size(); ++i) megabyte[i] = phrase[i % phrase.size()];
    return Digest(hash, megabyte);
}

std::string LocalizedKey(Hash hash, const std::string& key, const std::string& engineId) {
    if (key.empty()) return {};
    return Digest(hash, key + engineId + key);
}

std::size_t MacLength(Hash hash) {
    switch (hash) {
    case Hash::MD5:
    case Hash::SHA1: return 12;
    case Hash::SHA224: return 16;
    case Hash::SHA256: return 24;
    case Hash::SHA384: return 32;
    case Hash::SHA512: return 48;
    }
    return 12;
}

std::string EncodeV3(std::int32_t messageId, const Engine& engine, const UsmKeys* keys, const std::string& pdu,
                     double now, std::uint64_t salt) {
    const std::int32_t time =
        keys ? static_cast<std::int32_t>(std::min<double>(engine.time + std::max(0.0, now - engine.at), 2147483647.0))
             : 0;
    const std::int32_t boots = keys ? engine.boots : 0;
    std::string saltBytes, data = Tlv(kSequence, Tlv(kOctetString, engine.id) + Tlv(kOctetString, "") + pdu);
    if (keys && keys->des) {
        // The salt is the engine's boots and a number of ours; DES takes whole blocks.
        saltBytes = BigEndian32(static_cast<std::uint32_t>(boots)) + BigEndian32(static_cast<std::uint32_t>(salt));
        data.resize((data.size() + 7) / 8 * 8, '\0');
        data = Tlv(kOctetString, DesCbc(true, keys->privKey.substr(0, 8), DesIv(keys->privKey, saltBytes), data));
    } else if (keys) {
        for (int i = 7; i >= 0; --i) saltBytes += static_cast<char>(salt >> (8 * i));
        data = Tlv(kOctetString, AesCfb(true, keys->privKey.substr(0, 16), Iv(boots, time, saltBytes), data));
    }
    const std::uint8_t flags = keys ? (kAuthFlag | kPrivFlag | kReportableFlag) : kReportableFlag;
    const std::string global =
        Tlv(kSequence, EncodeInteger(messageId) + EncodeInteger(kMaxSize) +
                           Tlv(kOctetString, std::string(1, static_cast<char>(flags))) + EncodeInteger(kUsm));
    const std::string zeros(keys ? keys->macLength : 0, '\0');
    const std::string security = Tlv(kSequence, Tlv(kOctetString, keys ? engine.id : "") + EncodeInteger(boots) +
                                                    EncodeInteger(time) + Tlv(kOctetString, keys ? keys->user : "") +
                                                    Tlv(kOctetString, zeros) + Tlv(kOctetString, saltBytes));
    std::string message = Tlv(kSequence, EncodeInteger(3) + global + Tlv(kOctetString, security) + data);
    if (keys) {
        // The digest goes where its zeros stand: the only run of them in the
        // security parameters, right before the salt.
        const std::string tail = Tlv(kOctetString, zeros) + Tlv(kOctetString, saltBytes);
        const std::size_t at = message.find(security) + security.size() - tail.size() + 2;
        const std::string mac = Hmac(keys->hash, keys->authKey, message).substr(0, keys->macLength);
        message.replace(at, mac.size(), mac);
    }
    return message;
}

std::optional<V3Reply> DecodeV3(const std::uint8_t* data, std::size_t size, const UsmKeys* keys) {
    if (!data) return std::nullopt;
    Reader whole(data, size), message, global, securityBytes, security, scoped;
    V3Reply r;
    std::int32_t version = 0, maxSize = 0, model = 0;
    std::string flags, authParams, privParams;
    if (!whole.Expect(kSequence, message) || !whole.empty() || !message.Int32(version) || version != 3 ||
        !message.Expect(kSequence, global) || !global.Int32(r.messageId) || !global.Int32(maxSize) ||
        !global.Bytes(flags, 1) || flags.size() != 1 || !global.Int32(model) || model != kUsm || !global.empty() ||
        !message.Expect(kOctetString, securityBytes))
        return std::nullopt;
    Reader securityList = securityBytes;
    if (!securityList.Expect(kSequence, security) || !securityList.empty() ||
        !security.Bytes(r.engine.id, kLongestId) || !security.Int32(r.engine.boots) || !security.Int32(r.engine.time) ||
        !security.Bytes(r.user, kLongestId))
        return std::nullopt;
    const std::size_t authAt = static_cast<std::size_t>(security.data() - data);
    if (!security.Bytes(authParams, 64) || !security.Bytes(privParams, 64) || !security.empty()) return std::nullopt;
    const std::uint8_t f = static_cast<std::uint8_t>(flags[0]);
    std::string plain;
    if (f & kAuthFlag) {
        if (!keys || authParams.size() != keys->macLength || r.user != keys->user) return std::nullopt;
        // The digest over the whole message with its own place zeroed.
        std::string copy(reinterpret_cast<const char*>(data), size);
        const std::size_t valueAt = authAt + 2;  // the parameters' tag and short length
        if (valueAt + authParams.size() > copy.size()) return std::nullopt;
        std::fill(copy.begin() + static_cast<long>(valueAt),
                  copy.begin() + static_cast<long>(valueAt + authParams.size()), '\0');
        if (!SameBytes(Hmac(keys->hash, keys->authKey, copy).substr(0, keys->macLength), authParams))
            return std::nullopt;
        r.authenticated = true;
    }
    if (f & kPrivFlag) {
        std::string secret;
        if (!r.authenticated || privParams.size() != 8 || !message.Bytes(secret, 65535)) return std::nullopt;
        if (keys->des) {
            // Padded to whole blocks: what follows the scoped PDU is passed over.
            if (secret.empty() || secret.size() % 8 != 0) return std::nullopt;
            plain = DesCbc(false, keys->privKey.substr(0, 8), DesIv(keys->privKey, privParams), secret);
        } else {
            plain = AesCfb(false, keys->privKey.substr(0, 16), Iv(r.engine.boots, r.engine.time, privParams), secret);
        }
        if (plain.size() != secret.size()) return std::nullopt;
        scoped = Reader(reinterpret_cast<const std::uint8_t*>(plain.data()), plain.size());
        Reader inner;
        // A wrong key decrypts to noise: no scoped PDU.
        if (!scoped.Expect(kSequence, inner)) return std::nullopt;
        scoped = inner;
    } else if (!message.Expect(kSequence, scoped)) {
        return std::nullopt;
    }
    if (!message.empty()) return std::nullopt;
    std::string contextEngine, contextName;
    if (!scoped.Bytes(contextEngine, kLongestId) || !scoped.Bytes(contextName, 255) || !DecodePdu(scoped, r.message) ||
        !scoped.empty())
        return std::nullopt;
    r.message.version = 3;
    return r;
}

UsmReport ReportReason(const Message& report) {
    if (report.bindings.empty()) return UsmReport::None;
    const Oid& name = report.bindings[0].name;
    const Oid stats = {1, 3, 6, 1, 6, 3, 15, 1, 1};
    if (name.size() < stats.size() + 1 || !std::equal(stats.begin(), stats.end(), name.begin())) return UsmReport::None;
    switch (name[stats.size()]) {
    case 1: return UsmReport::UnsupportedLevel;
    case 2: return UsmReport::NotInTime;
    case 3: return UsmReport::UnknownUser;
    case 4: return UsmReport::UnknownEngine;
    case 5: return UsmReport::WrongDigest;
    case 6: return UsmReport::Decryption;
    default: return UsmReport::None;
    }
}

}  // namespace vx::platform::snmp
