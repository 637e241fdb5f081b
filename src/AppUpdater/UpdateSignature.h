#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace AppUpdater {

// Why a download was not accepted, in the user's words.
enum class UpdateSignatureError { badKey, badSignature, unreadable, mismatch };
QString describe(UpdateSignatureError error);

// The Ed25519 signature of a download ("sparkle:edSignature", Base64) checked
// against the bundle's public key before anything of it is unpacked.
namespace UpdateSignature {

std::optional<UpdateSignatureError> verify(const QByteArray& data, const QString& signatureBase64,
                                           const QString& publicKeyBase64);
// Reads the file at `path` (at most `limit` bytes) and verifies it.
std::optional<UpdateSignatureError> verifyFile(const QString& path, const QString& signatureBase64,
                                               const QString& publicKeyBase64, qint64 limit);
// The same for an open file, so that what is unpacked next is read through the same descriptor.
std::optional<UpdateSignatureError> verifyDescriptor(int fd, const QString& signatureBase64,
                                                     const QString& publicKeyBase64, qint64 limit);

} // namespace UpdateSignature

} // namespace AppUpdater
