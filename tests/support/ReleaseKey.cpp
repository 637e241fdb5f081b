#include "ReleaseKey.h"

#include <openssl/evp.h>

#include <gtest/gtest.h>

namespace velmora::test {

ReleaseKey::ReleaseKey()
{
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr),
                                                                        &EVP_PKEY_CTX_free);
    EXPECT_EQ(EVP_PKEY_keygen_init(context.get()), 1);
    EXPECT_EQ(EVP_PKEY_keygen(context.get(), &m_key), 1);
    unsigned char raw[32];
    size_t length = sizeof raw;
    EXPECT_EQ(EVP_PKEY_get_raw_public_key(m_key, raw, &length), 1);
    m_publicKey = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(raw), int(length)).toBase64());
}

ReleaseKey::~ReleaseKey()
{
    EVP_PKEY_free(m_key);
}

QString ReleaseKey::sign(const QByteArray& data) const
{
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    EXPECT_EQ(EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, m_key), 1);
    unsigned char signature[64];
    size_t length = sizeof signature;
    EXPECT_EQ(EVP_DigestSign(context.get(), signature, &length, reinterpret_cast<const unsigned char*>(data.constData()),
                             size_t(data.size())),
              1);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(signature), int(length)).toBase64());
}

QByteArray releaseFeed(const QString& build, const QString& url, qint64 length, const QString& signature)
{
    return QString(R"(<?xml version="1.0"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel>
<item><title>Velmora 2.0</title><description>Faster dictation.</description>
<sparkle:version>%1</sparkle:version><sparkle:shortVersionString>2.0</sparkle:shortVersionString>
<enclosure url="%2" length="%3" type="application/x-tar" sparkle:edSignature="%4"/></item>
</channel></rss>)")
        .arg(build, url)
        .arg(length)
        .arg(signature)
        .toUtf8();
}

} // namespace velmora::test
