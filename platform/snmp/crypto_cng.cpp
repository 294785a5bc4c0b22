// SNMP v3's cryptography over Windows' CNG (bcrypt): nothing to carry in
// the program. CNG has no SHA-224: that one is no hash here.
#include "platform/win32/backend.h"  // the program's headers before <windows.h>
// (a comment keeps the include order: windows.h before bcrypt.h)
#include <windows.h>
#include <bcrypt.h>

#include "platform/snmp/crypto.h"

namespace vx::platform::snmp {

namespace {

const wchar_t* Algorithm(Hash hash) {
    switch (hash) {
    case Hash::MD5: return BCRYPT_MD5_ALGORITHM;
    case Hash::SHA1: return BCRYPT_SHA1_ALGORITHM;
    case Hash::SHA256: return BCRYPT_SHA256_ALGORITHM;
    case Hash::SHA384: return BCRYPT_SHA384_ALGORITHM;
    case Hash::SHA512: return BCRYPT_SHA512_ALGORITHM;
    case Hash::SHA224: break;
    }
    return nullptr;
}

bool Ok(NTSTATUS status) { return status >= 0; }

std::string Hashed(Hash hash, const std::string* key, const std::string& data) {
    const wchar_t* name = Algorithm(hash);
    if (!name) return {};
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!Ok(BCryptOpenAlgorithmProvider(&algorithm, name, nullptr, key ? BCRYPT_ALG_HANDLE_HMAC_FLAG : 0))) return {};
    std::string out;
    DWORD length = 0, got = 0;
    BCRYPT_HASH_HANDLE h = nullptr;
    if (Ok(BCryptGetProperty(algorithm, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&length), sizeof length, &got,
                             0)) &&
        Ok(BCryptCreateHash(algorithm, &h, nullptr, 0,
                            key ? reinterpret_cast<PUCHAR>(const_cast<char*>(key->data())) : nullptr,
                            key ? static_cast<ULONG>(key->size()) : 0, 0))) {
        out.assign(length, '\0');
        if (!Ok(BCryptHashData(h, reinterpret_cast<PUCHAR>(const_cast<char*>(data.data())),
                               static_cast<ULONG>(data.size()), 0)) ||
            !Ok(BCryptFinishHash(h, reinterpret_cast<PUCHAR>(out.data()), length, 0)))
            out.clear();
        BCryptDestroyHash(h);
    }
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return out;
}

}  // namespace

std::string Digest(Hash hash, const std::string& data) { return Hashed(hash, nullptr, data); }

std::string Hmac(Hash hash, const std::string& key, const std::string& data) { return Hashed(hash, &key, data); }

std::string AesCfb(bool encrypt, const std::string& key, const std::string& iv, const std::string& data) {
    if (key.size() != 16 || iv.size() != 16) return {};
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!Ok(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_AES_ALGORITHM, nullptr, 0))) return {};
    std::string out;
    BCRYPT_KEY_HANDLE k = nullptr;
    // CFB with a 16-byte feedback (CFB-128), as SNMP's AES wants; CNG's own
    // CFB feeds back one byte unless told the block length.
    DWORD feedback = 16;
    if (Ok(BCryptSetProperty(algorithm, BCRYPT_CHAINING_MODE,
                             reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_CFB)),
                             sizeof(BCRYPT_CHAIN_MODE_CFB), 0)) &&
        Ok(BCryptGenerateSymmetricKey(algorithm, &k, nullptr, 0,
                                      reinterpret_cast<PUCHAR>(const_cast<char*>(key.data())), 16, 0)) &&
        Ok(BCryptSetProperty(k, BCRYPT_MESSAGE_BLOCK_LENGTH, reinterpret_cast<PUCHAR>(&feedback), sizeof feedback,
                             0))) {
        // CFB works on whole blocks here: the data is padded with zeros, and
        // only its own length of the result kept.
        std::string in = data;
        in.resize((data.size() + 15) / 16 * 16, '\0');
        std::string vector = iv;
        out.assign(in.size(), '\0');
        ULONG length = 0;
        const auto run = encrypt ? BCryptEncrypt : BCryptDecrypt;
        if (in.empty() || Ok(run(k, reinterpret_cast<PUCHAR>(in.data()), static_cast<ULONG>(in.size()), nullptr,
                                 reinterpret_cast<PUCHAR>(vector.data()), 16, reinterpret_cast<PUCHAR>(out.data()),
                                 static_cast<ULONG>(out.size()), &length, 0)))
            out.resize(data.size());
        else
            out.clear();
        BCryptDestroyKey(k);
    }
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return out;
}

}  // namespace vx::platform::snmp
