// SNMP replies built byte by byte, for the codec's tests and its fuzzer:
// well-formed ones as agents send them, to be broken on purpose.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vx::test {

inline std::string Tlv(std::uint8_t tag, const std::string& content) {
    std::string out(1, static_cast<char>(tag));
    if (content.size() < 0x80) {
        out += static_cast<char>(content.size());
    } else {
        out += static_cast<char>(0x82);
        out += static_cast<char>(content.size() >> 8);
        out += static_cast<char>(content.size() & 0xff);
    }
    return out + content;
}

inline std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s += static_cast<char>(b);
    return s;
}

// A binding of `oid` (its BER content) to a value (its whole TLV).
inline std::string Binding(const std::string& oid, const std::string& value) {
    return Tlv(0x30, Tlv(0x06, oid) + value);
}

// sysUpTime.0 (1.3.6.1.2.1.1.3.0) and ifHCInOctets.1 (1.3.6.1.2.1.31.1.1.1.6.1).
inline const std::string kSysUpTimeOid = Bytes({0x2b, 6, 1, 2, 1, 1, 3, 0});
inline const std::string kHcInOid = Bytes({0x2b, 6, 1, 2, 1, 31, 1, 1, 1, 6, 1});

// A v2c response with request id `id` and these bindings.
inline std::string Response(const std::string& bindings, const std::string& community = "public",
                            const std::string& id = Bytes({0x02, 0x02, 0x30, 0x39}), int version = 1) {
    const std::string pdu = id + Bytes({0x02, 0x01, 0x00, 0x02, 0x01, 0x00}) + Tlv(0x30, bindings);
    return Tlv(0x30, Bytes({0x02, 0x01, version}) + Tlv(0x04, community) + Tlv(0xa2, pdu));
}

// A reply as Debian's agent gives one: sysUpTime and a 64-bit counter.
inline std::string TypicalReply() {
    return Response(Binding(kSysUpTimeOid, Bytes({0x43, 0x04, 0x01, 0x02, 0x03, 0x04})) +
                    Binding(kHcInOid, Bytes({0x46, 0x05, 0x01, 0x00, 0x00, 0x00, 0x00})) +
                    Binding(kHcInOid, Tlv(0x04, "eth0")));
}

}  // namespace vx::test
