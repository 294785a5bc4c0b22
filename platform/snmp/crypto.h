// What SNMP v3's user-based security needs of a cryptographic library:
// digests, HMACs, AES-128 in CFB mode and DES in CBC mode. The system's own
// library beneath (Windows: CNG; elsewhere: OpenSSL's libcrypto, loaded at
// the first v3 session, so that v1 and v2c map no cryptography at all).
#pragma once

#include <string>

namespace vx::platform::snmp {

enum class Hash { MD5, SHA1, SHA224, SHA256, SHA384, SHA512 };

// Why this process has no cryptography (the library could not be loaded),
// or empty when it has.
std::string CryptoMissing();

// The digest of `data`; empty when this build has no such hash.
std::string Digest(Hash hash, const std::string& data);
std::string Hmac(Hash hash, const std::string& key, const std::string& data);
// AES-128-CFB (RFC 3826): `key` and `iv` of 16 bytes; empty on failure.
std::string AesCfb(bool encrypt, const std::string& key, const std::string& iv, const std::string& data);
// Whether DesCbc works in this build (the Windows one has no DES).
bool HasDes();
// DES-CBC (RFC 3414 8.1): `key` and `iv` of 8 bytes, `data` whole blocks of 8;
// empty on failure.
std::string DesCbc(bool encrypt, const std::string& key, const std::string& iv, const std::string& data);

// A pass phrase made a user's key (RFC 3414 A.2: a megabyte of it hashed),
// and that key localised to one agent's engine.
std::string PassphraseKey(Hash hash, const std::string& phrase);
std::string LocalizedKey(Hash hash, const std::string& key, const std::string& engineId);

}  // namespace vx::platform::snmp
