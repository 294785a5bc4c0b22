// BER as SNMP uses it: definite lengths, low tag numbers, minimal integers
// when we write them; and a reader that walks a reply with its own bounds.
#include "platform/snmp/ber.h"

#include <algorithm>
#include <iterator>

namespace vx::platform::snmp {

namespace {

void PutLength(std::string& out, std::size_t length) {
    if (length < 0x80) {
        out += static_cast<char>(length);
        return;
    }
    std::string bytes;
    for (; length; length >>= 8) bytes.insert(bytes.begin(), static_cast<char>(length & 0xff));
    out += static_cast<char>(0x80 | bytes.size());
    out += bytes;
}

std::string Integer(std::int64_t value) {
    std::string bytes;
    // Two's complement, shortest form: drop leading bytes that only repeat the sign.
    for (int shift = 56; shift >= 0; shift -= 8) bytes += static_cast<char>((value >> shift) & 0xff);
    while (bytes.size() > 1) {
        const auto first = static_cast<unsigned char>(bytes[0]), second = static_cast<unsigned char>(bytes[1]);
        if ((first == 0 && !(second & 0x80)) || (first == 0xff && (second & 0x80)))
            bytes.erase(0, 1);
        else
            break;
    }
    return Tlv(kInteger, bytes);
}

std::string ObjectId(const Oid& oid) {
    std::string content;
    auto put = [&](std::uint32_t part) {
        char groups[5];
        int n = 0;
        do {
            groups[n++] = static_cast<char>(part & 0x7f);
            part >>= 7;
        } while (part);
        while (n > 1) content += static_cast<char>(groups[--n] | 0x80);
        content += groups[0];
    };
    if (oid.size() >= 2) {
        put(oid[0] * 40 + oid[1]);
        for (std::size_t i = 2; i < oid.size(); ++i) put(oid[i]);
    }
    return Tlv(kObjectId, content);
}

bool SignedContent(const Reader& r, std::int64_t& value) {
    if (r.size() == 0 || r.size() > 8) return false;
    std::uint64_t bits = (r.data()[0] & 0x80) ? ~std::uint64_t{0} : 0;
    for (std::size_t i = 0; i < r.size(); ++i) bits = (bits << 8) | r.data()[i];
    value = static_cast<std::int64_t>(bits);
    return true;
}

// An unsigned number of at most `bytes` bytes: a negative one (the top bit set
// without a leading zero) or a longer one is no value of its type.
bool UnsignedContent(const Reader& r, std::size_t bytes, std::uint64_t& value) {
    const std::uint8_t* d = r.data();
    std::size_t n = r.size();
    if (n == 0 || (d[0] & 0x80)) return false;
    if (n > 1 && d[0] == 0) {
        ++d;
        --n;
    }
    if (n > bytes) return false;
    value = 0;
    for (std::size_t i = 0; i < n; ++i) value = (value << 8) | d[i];
    return true;
}

bool OidContent(const Reader& r, Oid& oid) {
    oid.clear();
    if (r.size() == 0) return false;
    std::uint64_t part = 0;
    std::size_t groups = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        const std::uint8_t b = r.data()[i];
        part = (part << 7) | (b & 0x7f);
        if (++groups > 5 || part > 0xffffffffULL) return false;
        if (b & 0x80) continue;
        if (oid.empty()) {
            const std::uint32_t first = part < 40 ? 0 : part < 80 ? 1 : 2;
            oid.push_back(first);
            oid.push_back(static_cast<std::uint32_t>(part - std::uint64_t{first} * 40));
        } else {
            oid.push_back(static_cast<std::uint32_t>(part));
        }
        if (oid.size() > kMostOidParts) return false;
        part = 0;
        groups = 0;
    }
    return groups == 0;  // no part cut off in the middle
}

bool ValueContent(std::uint8_t tag, const Reader& r, Value& v) {
    v.type = tag;
    switch (tag) {
    case kInteger: return SignedContent(r, v.integer);
    case kCounter32:
    case kGauge32:
    case kTimeTicks: return UnsignedContent(r, 4, v.number);
    case kCounter64: return UnsignedContent(r, 8, v.number);
    case kOctetString:
    case kIpAddress:
    case kOpaque: v.bytes.assign(reinterpret_cast<const char*>(r.data()), r.size()); return true;
    case kObjectId: return OidContent(r, v.oid);
    case kNull:
    case kNoSuchObject:
    case kNoSuchInstance:
    case kEndOfMibView: return r.size() == 0;
    default: return false;
    }
}

}  // namespace

bool Reader::Next(std::uint8_t& tag, Reader& content) {
    if (left_ < 2) return false;
    tag = p_[0];
    if ((tag & 0x1f) == 0x1f) return false;  // high tag numbers: nothing SNMP sends
    std::size_t length = p_[1], header = 2;
    if (length & 0x80) {
        const std::size_t count = length & 0x7f;
        if (count == 0 || count > 4 || left_ < 2 + count) return false;  // indefinite, or absurd
        length = 0;
        for (std::size_t i = 0; i < count; ++i) length = (length << 8) | p_[2 + i];
        header += count;
    }
    if (length > left_ - header) return false;
    content = Reader(p_ + header, length);
    p_ += header + length;
    left_ -= header + length;
    return true;
}

bool Reader::Expect(std::uint8_t tag, Reader& content) {
    std::uint8_t found = 0;
    return Next(found, content) && found == tag;
}

bool Reader::Int32(std::int32_t& value) {
    Reader content;
    std::int64_t v = 0;
    if (!Expect(kInteger, content) || !SignedContent(content, v) || v < INT32_MIN || v > INT32_MAX) return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

bool Reader::Bytes(std::string& value, std::size_t most) {
    Reader content;
    if (!Expect(kOctetString, content) || content.size() > most) return false;
    value.assign(reinterpret_cast<const char*>(content.data()), content.size());
    return true;
}

std::string Tlv(std::uint8_t tag, const std::string& content) {
    std::string out(1, static_cast<char>(tag));
    PutLength(out, content.size());
    return out + content;
}

std::string EncodeInteger(std::int64_t value) { return Integer(value); }

std::string EncodePdu(std::uint8_t pduType, std::int32_t requestId, const std::vector<Oid>& names,
                      std::int32_t repetitions) {
    std::string bindings;
    for (const Oid& name : names) bindings += Tlv(kSequence, ObjectId(name) + Tlv(kNull, {}));
    const bool bulk = pduType == kGetBulkRequest;
    return Tlv(pduType, Integer(requestId) + Integer(0) + Integer(bulk ? repetitions : 0) + Tlv(kSequence, bindings));
}

bool DecodePdu(Reader& in, Message& m) {
    Reader pdu, list;
    if (!in.Next(m.pduType, pdu)) return false;
    if (m.pduType != kResponse && m.pduType != kGetRequest && m.pduType != kGetNextRequest &&
        m.pduType != kGetBulkRequest && m.pduType != kReport)
        return false;
    if (!pdu.Int32(m.requestId) || !pdu.Int32(m.errorStatus) || !pdu.Int32(m.errorIndex) ||
        !pdu.Expect(kSequence, list) || !pdu.empty())
        return false;
    m.bindings.clear();
    while (!list.empty()) {
        Reader binding, name, value;
        VarBind b;
        std::uint8_t tag = 0;
        if (m.bindings.size() >= kMostBindings || !list.Expect(kSequence, binding) ||
            !binding.Expect(kObjectId, name) || !OidContent(name, b.name) || !binding.Next(tag, value) ||
            !binding.empty() || !ValueContent(tag, value, b.value))
            return false;
        m.bindings.push_back(std::move(b));
    }
    return true;
}

std::string EncodeRequest(std::int32_t version, const std::string& community, std::uint8_t pduType,
                          std::int32_t requestId, const std::vector<Oid>& names, std::int32_t repetitions) {
    return Tlv(kSequence,
               Integer(version) + Tlv(kOctetString, community) + EncodePdu(pduType, requestId, names, repetitions));
}

std::optional<Message> DecodeMessage(const std::uint8_t* data, std::size_t size) {
    if (!data) return std::nullopt;
    Reader whole(data, size), message;
    Message m;
    if (!whole.Expect(kSequence, message) || !whole.empty()) return std::nullopt;
    if (!message.Int32(m.version) || m.version == 3 || !message.Bytes(m.community, 65535) || !DecodePdu(message, m) ||
        !message.empty())
        return std::nullopt;
    return m;
}

std::optional<double> Number(const Value& v) {
    switch (v.type) {
    case kCounter32:
    case kGauge32:
    case kTimeTicks:
    case kCounter64: return static_cast<double>(v.number);
    case kInteger: return static_cast<double>(v.integer);
    default: return std::nullopt;
    }
}

std::string Text(const Value& v) {
    if (v.type != kOctetString) return {};
    std::string text = v.bytes.substr(0, 255);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < ' ' || static_cast<unsigned char>(c) >= 127) c = '?';
    while (!text.empty() && text.back() == '?') text.pop_back();  // a trailing NUL some agents send
    return text;
}

std::string ErrorName(std::int32_t status) {
    static const char* const kNames[] = {"noError",
                                         "tooBig",
                                         "noSuchName",
                                         "badValue",
                                         "readOnly",
                                         "genErr",
                                         "noAccess",
                                         "wrongType",
                                         "wrongLength",
                                         "wrongEncoding",
                                         "wrongValue",
                                         "noCreation",
                                         "inconsistentValue",
                                         "resourceUnavailable",
                                         "commitFailed",
                                         "undoFailed",
                                         "authorizationError",
                                         "notWritable",
                                         "inconsistentName"};
    if (status >= 0 && static_cast<std::size_t>(status) < std::size(kNames)) return kNames[status];
    return "error " + std::to_string(status);
}

}  // namespace vx::platform::snmp
