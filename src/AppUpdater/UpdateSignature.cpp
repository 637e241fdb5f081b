#include "UpdateSignature.h"

#include "Platform/Linux/FolderAccess.h"

#include <QFile>

#include <openssl/evp.h>

#include <memory>

namespace AppUpdater {

QString describe(UpdateSignatureError error)
{
    switch (error) {
    case UpdateSignatureError::badKey:
        return QStringLiteral("The update's signing key in this build is not usable.");
    case UpdateSignatureError::badSignature:
        return QStringLiteral("The update carries no readable signature.");
    case UpdateSignatureError::unreadable:
        return QStringLiteral("The downloaded update could not be read.");
    case UpdateSignatureError::mismatch:
        return QStringLiteral("The downloaded update is not signed by Velmora's key; it was not installed.");
    }
    return {};
}

namespace {

std::optional<QByteArray> strictBase64(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    if (bytes != text.toUtf8())
        return std::nullopt;
    auto decoded = QByteArray::fromBase64Encoding(bytes, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return decoded.decoded;
}

} // namespace

namespace {

std::optional<UpdateSignatureError> verifyBytes(const unsigned char* data, size_t size, const QString& signatureBase64,
                                                const QString& publicKeyBase64)
{
    const auto key = strictBase64(publicKeyBase64);
    if (!key || key->size() != 32)
        return UpdateSignatureError::badKey;
    const auto signature = strictBase64(signatureBase64.trimmed());
    if (!signature || signature->size() != 64)
        return UpdateSignatureError::badSignature;
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> publicKey(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char*>(key->constData()),
                                    size_t(key->size())),
        &EVP_PKEY_free);
    if (!publicKey)
        return UpdateSignatureError::badKey;
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, publicKey.get()) != 1)
        return UpdateSignatureError::badKey;
    // Ed25519 signs the whole message at once.
    const int verdict = EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature->constData()),
                                         size_t(signature->size()), data, size);
    return verdict == 1 ? std::nullopt : std::optional(UpdateSignatureError::mismatch);
}

} // namespace

std::optional<UpdateSignatureError> UpdateSignature::verify(const QByteArray& data, const QString& signatureBase64,
                                                            const QString& publicKeyBase64)
{
    return verifyBytes(reinterpret_cast<const unsigned char*>(data.constData()), size_t(data.size()), signatureBase64,
                       publicKeyBase64);
}

std::optional<UpdateSignatureError> UpdateSignature::verifyFile(const QString& path, const QString& signatureBase64,
                                                                const QString& publicKeyBase64, qint64 limit)
{
    const auto file = velmora::platform::FolderAccess::openFile(path);
    if (!file)
        return UpdateSignatureError::unreadable;
    return verifyDescriptor(file.get(), signatureBase64, publicKeyBase64, limit);
}

std::optional<UpdateSignatureError> UpdateSignature::verifyDescriptor(int fd, const QString& signatureBase64,
                                                                      const QString& publicKeyBase64, qint64 limit)
{
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle) || file.size() > limit)
        return UpdateSignatureError::unreadable;
    const qint64 size = file.size();
    if (size == 0)
        return verify({}, signatureBase64, publicKeyBase64);
    // Mapped, not read: an archive of up to `limit` bytes never becomes as much memory of ours.
    const uchar* mapped = file.map(0, size);
    if (!mapped)
        return UpdateSignatureError::unreadable;
    const auto verdict = verifyBytes(mapped, size_t(size), signatureBase64, publicKeyBase64);
    file.unmap(const_cast<uchar*>(mapped));
    return verdict;
}

} // namespace AppUpdater
