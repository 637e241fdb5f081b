#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

typedef struct evp_pkey_st EVP_PKEY;

namespace velmora::test {

// An Ed25519 key pair made by the test, as scripts/release-feed makes the release one.
class ReleaseKey {
public:
    ReleaseKey();
    ~ReleaseKey();
    QString publicKey() const { return m_publicKey; } // Base64 of the 32 raw bytes
    QString sign(const QByteArray& data) const;       // Base64 of the 64-byte signature

private:
    QString m_publicKey;
    EVP_PKEY* m_key = nullptr;
};

// A feed with one item: version 2.0 as `build`, its archive at `url` with `length` bytes and `signature`.
QByteArray releaseFeed(const QString& build, const QString& url, qint64 length, const QString& signature);

} // namespace velmora::test
