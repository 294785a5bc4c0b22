// SNMP v3's cryptography over OpenSSL's libcrypto (Linux: the tests of our
// own manager).
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "platform/snmp/crypto.h"

namespace vx::platform::snmp {

namespace {

const EVP_MD* Md(Hash hash) {
    switch (hash) {
    case Hash::MD5: return EVP_md5();
    case Hash::SHA1: return EVP_sha1();
    case Hash::SHA224: return EVP_sha224();
    case Hash::SHA256: return EVP_sha256();
    case Hash::SHA384: return EVP_sha384();
    case Hash::SHA512: return EVP_sha512();
    }
    return nullptr;
}

}  // namespace

std::string Digest(Hash hash, const std::string& data) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!EVP_Digest(data.data(), data.size(), out, &length, Md(hash), nullptr)) return {};
    return std::string(reinterpret_cast<char*>(out), length);
}

std::string Hmac(Hash hash, const std::string& key, const std::string& data) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!HMAC(Md(hash), key.data(), static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(data.data()),
              data.size(), out, &length))
        return {};
    return std::string(reinterpret_cast<char*>(out), length);
}

std::string AesCfb(bool encrypt, const std::string& key, const std::string& iv, const std::string& data) {
    if (key.size() != 16 || iv.size() != 16) return {};
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    if (!context) return {};
    std::string out(data.size() + 16, '\0');
    int length = 0, last = 0;
    const bool ok =
        EVP_CipherInit_ex(context, EVP_aes_128_cfb128(), nullptr, reinterpret_cast<const unsigned char*>(key.data()),
                          reinterpret_cast<const unsigned char*>(iv.data()), encrypt ? 1 : 0) == 1 &&
        EVP_CipherUpdate(context, reinterpret_cast<unsigned char*>(out.data()), &length,
                         reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size())) == 1 &&
        EVP_CipherFinal_ex(context, reinterpret_cast<unsigned char*>(out.data()) + length, &last) == 1;
    EVP_CIPHER_CTX_free(context);
    if (!ok) return {};
    out.resize(static_cast<std::size_t>(length) + static_cast<std::size_t>(last));
    return out;
}

}  // namespace vx::platform::snmp
