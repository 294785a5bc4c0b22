// SNMP v3's cryptography over Windows' CNG (bcrypt): nothing to carry in
// the program. CNG has no SHA-224: that one is no hash here; nor DES.
#include "platform/win32/backend.h"  // the program's headers before <windows.h>
// (a comment keeps the include order: windows.h before bcrypt.h)
#include <windows.h>
#include <bcrypt.h>

#include <algorithm>

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

std::string CryptoMissing() { return {}; }

std::string Digest(Hash hash, const std::string& data) { return Hashed(hash, nullptr, data); }

std::string Hmac(Hash hash, const std::string& key, const std::string& data) { return Hashed(hash, &key, data); }

std::string AesCfb(bool encrypt, const std::string& key, const std::string& iv, const std::string& data) {
    if (key.size() != 16 || iv.size() != 16) return {};
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!Ok(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_AES_ALGORITHM, nullptr, 0))) return {};
    std::string out;
    BCRYPT_KEY_HANDLE k = nullptr;
    // CFB-128 made here from single blocks enciphered in ECB mode: CNG's own
    // CFB needs its feedback length set, which not every CNG (Wine's) allows.
    if (Ok(BCryptSetProperty(algorithm, BCRYPT_CHAINING_MODE,
                             reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_ECB)),
                             sizeof(BCRYPT_CHAIN_MODE_ECB), 0)) &&
        Ok(BCryptGenerateSymmetricKey(algorithm, &k, nullptr, 0,
                                      reinterpret_cast<PUCHAR>(const_cast<char*>(key.data())), 16, 0))) {
        std::string feedback = iv, stream(16, '\0');
        out = data;
        bool ok = true;
        for (std::size_t at = 0; ok && at < data.size(); at += 16) {
            ULONG length = 0;
            ok = Ok(BCryptEncrypt(k, reinterpret_cast<PUCHAR>(feedback.data()), 16, nullptr, nullptr, 0,
                                  reinterpret_cast<PUCHAR>(stream.data()), 16, &length, 0)) &&
                 length == 16;
            const std::size_t n = std::min<std::size_t>(16, data.size() - at);
            for (std::size_t i = 0; ok && i < n; ++i) out[at + i] = static_cast<char>(data[at + i] ^ stream[i]);
            // The next block's feedback is this block's ciphertext.
            if (ok && n == 16) feedback = (encrypt ? out : data).substr(at, 16);
        }
        if (!ok) out.clear();
        BCryptDestroyKey(k);
    }
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return out;
}

// Not every CNG has single DES (Wine's has none), and a path no test can run is not shipped.
bool HasDes() { return false; }

std::string DesCbc(bool, const std::string&, const std::string&, const std::string&) { return {}; }

}  // namespace vx::platform::snmp
