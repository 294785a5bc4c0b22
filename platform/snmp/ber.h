// SNMP v1/v2c messages in BER (the subset a manager needs): requests built,
// replies read. The reader trusts nothing in a reply: every length is checked
// against what is left, integers against their type's range, and the whole
// message must be what a response looks like, or it is no message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vx::platform::snmp {

using Oid = std::vector<std::uint32_t>;

enum Tag : std::uint8_t {
    kInteger = 0x02,
    kOctetString = 0x04,
    kNull = 0x05,
    kObjectId = 0x06,
    kSequence = 0x30,
    kIpAddress = 0x40,
    kCounter32 = 0x41,
    kGauge32 = 0x42,
    kTimeTicks = 0x43,
    kOpaque = 0x44,
    kCounter64 = 0x46,
    kNoSuchObject = 0x80,
    kNoSuchInstance = 0x81,
    kEndOfMibView = 0x82,
    kGetRequest = 0xa0,
    kGetNextRequest = 0xa1,
    kResponse = 0xa2,
    kGetBulkRequest = 0xa5,
    kReport = 0xa8,
};

enum Version : std::int32_t { kV1 = 0, kV2c = 1 };

// One value as the agent sent it. Integer types keep their number (`number`
// for the unsigned ones, `integer` for INTEGER), strings their bytes.
struct Value {
    std::uint8_t type = kNull;
    std::int64_t integer = 0;
    std::uint64_t number = 0;
    std::string bytes;
    Oid oid;
};

struct VarBind {
    Oid name;
    Value value;
};

struct Message {
    std::int32_t version = kV2c;
    std::string community;
    std::uint8_t pduType = kResponse;
    std::int32_t requestId = 0;
    std::int32_t errorStatus = 0;
    std::int32_t errorIndex = 0;
    std::vector<VarBind> bindings;
};

// Limits a reply must keep to.
inline constexpr std::size_t kMostBindings = 256;
inline constexpr std::size_t kMostOidParts = 128;

// A view of BER bytes still to read; every read checks what is left.
class Reader {
public:
    Reader() = default;
    Reader(const std::uint8_t* data, std::size_t size) : p_(data), left_(size) {}
    bool empty() const { return left_ == 0; }
    const std::uint8_t* data() const { return p_; }
    std::size_t size() const { return left_; }
    // The next element's tag and content; false when it does not fit.
    bool Next(std::uint8_t& tag, Reader& content);
    bool Expect(std::uint8_t tag, Reader& content);
    bool Int32(std::int32_t& value);
    bool Bytes(std::string& value, std::size_t most);  // an OCTET STRING of at most `most` bytes

private:
    const std::uint8_t* p_ = nullptr;
    std::size_t left_ = 0;
};

// A whole element: tag, length, content.
std::string Tlv(std::uint8_t tag, const std::string& content);
std::string EncodeInteger(std::int64_t value);

// A PDU alone (v3 carries it in its own envelope): request id, errors,
// bindings of NULLs.
std::string EncodePdu(std::uint8_t pduType, std::int32_t requestId, const std::vector<Oid>& names,
                      std::int32_t repetitions = 0);
// Reads a PDU element into the message's PDU fields; false when malformed.
bool DecodePdu(Reader& in, Message& m);

// A request: GET, GETNEXT or GETBULK (`repetitions` only for GETBULK) for
// `names`, each with a NULL value.
std::string EncodeRequest(std::int32_t version, const std::string& community, std::uint8_t pduType,
                          std::int32_t requestId, const std::vector<Oid>& names, std::int32_t repetitions = 0);

// A message (a reply, normally), or none when it is not one well-formed.
std::optional<Message> DecodeMessage(const std::uint8_t* data, std::size_t size);

// The value as a whole number where it is one of the integer types; none for
// any other type.
std::optional<double> Number(const Value& v);

// An octet string as text a box and a terminal show as it is: at most 255
// characters, anything else than printable ASCII as '?', a trailing NUL gone.
std::string Text(const Value& v);

// The agent's error-status as its name ("noSuchName", "tooBig", ...).
std::string ErrorName(std::int32_t status);

}  // namespace vx::platform::snmp
