// SNMP v3's cryptography over OpenSSL's libcrypto, opened at the first v3
// session rather than linked: a v1 or v2c session, and every other source,
// keep its 4.5 MB out of the process. The declarations come from OpenSSL's
// own headers, so each function is called with its real type.
#include <dlfcn.h>

// DES's own functions are deprecated in OpenSSL 3 but kept (and needed: the
// EVP one is in the legacy provider, which is not loaded by default).
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/des.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <mutex>

#include "platform/snmp/crypto.h"

namespace vx::platform::snmp {

namespace {

// What we call, found by name in the library.
struct LibCrypto {
    std::string missing;  // why it could not be loaded
    decltype(&EVP_md5) md5 = nullptr;
    decltype(&EVP_sha1) sha1 = nullptr;
    decltype(&EVP_sha224) sha224 = nullptr;
    decltype(&EVP_sha256) sha256 = nullptr;
    decltype(&EVP_sha384) sha384 = nullptr;
    decltype(&EVP_sha512) sha512 = nullptr;
    decltype(&EVP_Digest) digest = nullptr;
    decltype(&HMAC) hmac = nullptr;
    decltype(&EVP_aes_128_cfb128) aes128Cfb = nullptr;
    decltype(&EVP_CIPHER_CTX_new) contextNew = nullptr;
    decltype(&EVP_CIPHER_CTX_free) contextFree = nullptr;
    decltype(&EVP_CipherInit_ex) cipherInit = nullptr;
    decltype(&EVP_CipherUpdate) cipherUpdate = nullptr;
    decltype(&EVP_CipherFinal_ex) cipherFinal = nullptr;
    // DES through its own functions: OpenSSL 3 keeps the EVP one in its legacy provider.
    decltype(&DES_set_key_unchecked) desKey = nullptr;
    decltype(&DES_ncbc_encrypt) desCbc = nullptr;
};

template <class Function>
bool Find(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

const LibCrypto& Crypto() {
    static LibCrypto c;
    static std::once_flag once;
    std::call_once(once, [] {
        // Never closed: it keeps state of its own for the life of the process.
        void* l = dlopen("libcrypto.so.3", RTLD_NOW | RTLD_LOCAL);
        if (!l) {
            c.missing =
                "SNMP v3 needs OpenSSL's libcrypto (libcrypto.so.3, Debian's libssl3), which could not be loaded";
            return;
        }
        const bool all = Find(l, "EVP_md5", c.md5) && Find(l, "EVP_sha1", c.sha1) && Find(l, "EVP_sha224", c.sha224) &&
                         Find(l, "EVP_sha256", c.sha256) && Find(l, "EVP_sha384", c.sha384) &&
                         Find(l, "EVP_sha512", c.sha512) && Find(l, "EVP_Digest", c.digest) &&
                         Find(l, "HMAC", c.hmac) && Find(l, "EVP_aes_128_cfb128", c.aes128Cfb) &&
                         Find(l, "EVP_CIPHER_CTX_new", c.contextNew) && Find(l, "EVP_CIPHER_CTX_free", c.contextFree) &&
                         Find(l, "EVP_CipherInit_ex", c.cipherInit) && Find(l, "EVP_CipherUpdate", c.cipherUpdate) &&
                         Find(l, "EVP_CipherFinal_ex", c.cipherFinal);
        if (!all) c = LibCrypto{"SNMP v3 needs OpenSSL 3's libcrypto, but libcrypto.so.3 lacks what it needs"};
        // DES is a bonus: a libcrypto built without it still does AES.
        if (all && !(Find(l, "DES_set_key_unchecked", c.desKey) && Find(l, "DES_ncbc_encrypt", c.desCbc)))
            c.desKey = nullptr, c.desCbc = nullptr;
    });
    return c;
}

const EVP_MD* Md(Hash hash) {
    const LibCrypto& c = Crypto();
    if (!c.missing.empty()) return nullptr;
    switch (hash) {
    case Hash::MD5: return c.md5();
    case Hash::SHA1: return c.sha1();
    case Hash::SHA224: return c.sha224();
    case Hash::SHA256: return c.sha256();
    case Hash::SHA384: return c.sha384();
    case Hash::SHA512: return c.sha512();
    }
    return nullptr;
}

}  // namespace

std::string CryptoMissing() { return Crypto().missing; }

std::string Digest(Hash hash, const std::string& data) {
    const EVP_MD* md = Md(hash);
    if (!md) return {};
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!Crypto().digest(data.data(), data.size(), out, &length, md, nullptr)) return {};
    return std::string(reinterpret_cast<char*>(out), length);
}

std::string Hmac(Hash hash, const std::string& key, const std::string& data) {
    const EVP_MD* md = Md(hash);
    if (!md) return {};
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!Crypto().hmac(md, key.data(), static_cast<int>(key.size()),
                       reinterpret_cast<const unsigned char*>(data.data()), data.size(), out, &length))
        return {};
    return std::string(reinterpret_cast<char*>(out), length);
}

std::string AesCfb(bool encrypt, const std::string& key, const std::string& iv, const std::string& data) {
    const LibCrypto& c = Crypto();
    if (!c.missing.empty() || key.size() != 16 || iv.size() != 16) return {};
    EVP_CIPHER_CTX* context = c.contextNew();
    if (!context) return {};
    std::string out(data.size() + 16, '\0');
    int length = 0, last = 0;
    const bool ok =
        c.cipherInit(context, c.aes128Cfb(), nullptr, reinterpret_cast<const unsigned char*>(key.data()),
                     reinterpret_cast<const unsigned char*>(iv.data()), encrypt ? 1 : 0) == 1 &&
        c.cipherUpdate(context, reinterpret_cast<unsigned char*>(out.data()), &length,
                       reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size())) == 1 &&
        c.cipherFinal(context, reinterpret_cast<unsigned char*>(out.data()) + length, &last) == 1;
    c.contextFree(context);
    if (!ok) return {};
    out.resize(static_cast<std::size_t>(length) + static_cast<std::size_t>(last));
    return out;
}

bool HasDes() { return Crypto().desCbc != nullptr; }

std::string DesCbc(bool encrypt, const std::string& key, const std::string& iv, const std::string& data) {
    const LibCrypto& c = Crypto();
    if (!c.desCbc || key.size() != 8 || iv.size() != 8 || data.size() % 8 != 0) return {};
    DES_cblock k, chain;
    std::copy(key.begin(), key.end(), k);
    std::copy(iv.begin(), iv.end(), chain);
    DES_key_schedule schedule;
    c.desKey(&k, &schedule);
    std::string out(data.size(), '\0');
    c.desCbc(reinterpret_cast<const unsigned char*>(data.data()), reinterpret_cast<unsigned char*>(out.data()),
             static_cast<long>(data.size()), &schedule, &chain, encrypt ? DES_ENCRYPT : DES_DECRYPT);
    return out;
}

}  // namespace vx::platform::snmp
