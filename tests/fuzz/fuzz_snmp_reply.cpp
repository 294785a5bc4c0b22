// Holds our own SNMP manager's reply reader to its promises on any bytes:
// no read outside the datagram, and what it accepts is in range (counters
// within their bits, texts short and printable, names and bindings bounded);
// the names it reads go out again in a request and come back the same. The
// same bytes go to the v3 reader, with and without a user's keys: a message
// it takes as authenticated must carry that user's digest.
// Built two ways: under clang's libFuzzer with -DVX_LIBFUZZER (FUZZ=snmp
// scripts/fuzz), or as a plain program that breaks well-formed replies at
// random (ctest runs it briefly):
//   fuzz_snmp_reply [COUNT] [SEED]      COUNT inputs (20000) from SEED (1)
//   fuzz_snmp_reply --seeds DIR COUNT   whole messages to start a fuzzer with
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/snmp/ber.h"
#include "platform/snmp/usm.h"
#include "tests/support/snmp_messages.h"

namespace {

using namespace vx::platform::snmp;

void Check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "fuzz_snmp_reply: %s\n", what);
    std::abort();
}

const Engine& TheEngine() {
    static const Engine engine{"\x80\x00\x1f\x88\x80\x01\x02\x03\x04", 3, 100, 0};
    return engine;
}

const UsmKeys& Keys() {
    static const UsmKeys keys = [] {
        UsmKeys k;
        k.user = "vxuser";
        k.authKey = LocalizedKey(Hash::SHA256, PassphraseKey(Hash::SHA256, "loopback-phrase"), TheEngine().id);
        k.privKey = k.authKey;
        return k;
    }();
    return keys;
}

void TestOne(const std::uint8_t* data, std::size_t size) {
    // A copy of its own size, so that a read past the end is caught.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[size ? size : 1]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    for (const UsmKeys* keys : {static_cast<const UsmKeys*>(nullptr), &Keys()}) {
        const std::optional<V3Reply> r = DecodeV3(exact.get(), size, keys);
        if (!r) continue;
        Check(!r->authenticated || keys, "authenticated without keys");
        Check(r->message.bindings.size() <= kMostBindings, "too many v3 bindings");
        Check(r->engine.id.size() <= 32 && r->user.size() <= 32, "an engine id or user too long");
    }
    const std::optional<Message> m = DecodeMessage(exact.get(), size);
    if (!m) return;
    Check(m->bindings.size() <= kMostBindings, "too many bindings");
    std::vector<Oid> names;
    for (const VarBind& b : m->bindings) {
        Check(b.name.size() >= 2 && b.name.size() <= kMostOidParts, "a name out of bounds");
        const Value& v = b.value;
        if (v.type == kCounter32 || v.type == kGauge32 || v.type == kTimeTicks)
            Check(v.number <= 0xffffffffULL && Number(v) && *Number(v) >= 0, "a 32-bit value out of range");
        if (v.type == kCounter64) Check(Number(v) && *Number(v) >= 0, "a negative 64-bit counter");
        const std::string text = Text(v);
        Check(text.size() <= 255, "a text too long");
        for (char c : text) Check(c >= ' ' && c < 127, "a text with a control character");
        if (b.name[0] <= 2 && (b.name[0] == 2 || b.name[1] < 40) && b.name[1] <= 0xffffffffu - 80)
            names.push_back(b.name);
    }
    const std::string request = EncodeRequest(m->version, m->community, kGetRequest, m->requestId, names);
    const std::optional<Message> again =
        DecodeMessage(reinterpret_cast<const std::uint8_t*>(request.data()), request.size());
    Check(again.has_value(), "a request of the reply's names could not be read back");
    Check(again->requestId == m->requestId && again->community == m->community, "the request's fields changed");
    Check(again->bindings.size() == names.size(), "the request lost names");
    for (std::size_t i = 0; i < names.size(); ++i) Check(again->bindings[i].name == names[i], "a name changed");
}

}  // namespace

#ifdef VX_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TestOne(data, size);
    return 0;
}
#else
int main(int argc, char** argv) {
    // Whole replies and v3 messages to start a fuzzer with: DIR COUNT.
    const bool seeds = argc > 3 && std::string(argv[1]) == "--seeds";
    if (seeds) ++argv, --argc;
    const long count = argc > 1 ? std::strtol(argv[seeds ? 2 : 1], nullptr, 10) : 20000;
    std::mt19937_64 random(!seeds && argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1);
    using vx::test::Bytes;
    // Values agents send, and a few they should not.
    const std::string values[] = {Bytes({0x41, 0x05, 0x00, 0xff, 0xff, 0xff, 0xff}),
                                  Bytes({0x46, 0x09, 0x00, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}),
                                  Bytes({0x43, 0x01, 0x00}),
                                  Bytes({0x02, 0x01, 0x80}),
                                  vx::test::Tlv(0x04, std::string("ppp0\0\x7f\xff", 7)),
                                  Bytes({0x82, 0x00}),
                                  Bytes({0x06, 0x03, 0x2b, 0x06, 0x01})};
    long accepted = 0;
    for (long n = 0; n < count; ++n) {
        std::string bindings;
        for (int b = static_cast<int>(random() % 5); b > 0; --b)
            bindings += vx::test::Binding(random() % 2 ? vx::test::kHcInOid : vx::test::kSysUpTimeOid,
                                          values[random() % std::size(values)]);
        // Every fourth a v3 message of the keys above, whole or broken.
        std::string reply = n % 4 ? vx::test::Response(bindings)
                                  : EncodeV3(static_cast<std::int32_t>(n), TheEngine(), n % 8 ? &Keys() : nullptr,
                                             EncodePdu(kGetRequest, 7, {{1, 3, 6, 1, 2, 1, 1, 3, 0}}), 0,
                                             static_cast<std::uint64_t>(n));
        if (seeds) {
            const std::string name = std::string(argv[1]) + "/seed-" + std::to_string(n);
            if (FILE* f = std::fopen(name.c_str(), "wb")) {
                std::fwrite(reply.data(), 1, reply.size(), f);
                std::fclose(f);
            }
            continue;
        }
        // A few bytes changed, cut, put in or repeated.
        for (int edits = static_cast<int>(random() % 4); edits > 0 && !reply.empty(); --edits) {
            const std::size_t at = random() % reply.size();
            switch (random() % 4) {
            case 0: reply[at] = static_cast<char>(random()); break;
            case 1: reply.resize(at); break;
            case 2: reply.insert(at, 1, static_cast<char>(random())); break;
            default: reply.insert(at, reply.substr(at, random() % 16)); break;
            }
        }
        TestOne(reinterpret_cast<const std::uint8_t*>(reply.data()), reply.size());
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(reply.data());
        accepted += DecodeMessage(bytes, reply.size()).has_value() || DecodeV3(bytes, reply.size(), &Keys());
    }
    if (seeds) return 0;
    // Most replies are broken on purpose; some must still be read, or nothing was tried.
    std::printf("fuzz_snmp_reply: %ld inputs, %ld read\n", count, accepted);
    return accepted > 0 && accepted < count ? 0 : 1;
}
#endif
