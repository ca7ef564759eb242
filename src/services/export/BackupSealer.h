#pragma once

#include "services/security/SymmetricKey.h"

#include "model/Result.h"

#include <QByteArray>
#include <QIODevice>

// Seals what is written to it with AES-256-GCM and passes the sealed box on
// as Base64 text, as it goes: nonce (12 random bytes), ciphertext, tag (16
// bytes) - the combined form SecurityService::decrypt opens. Each '/' of the
// Base64 text is written as "\/", since the text is a JSON string of the
// backup envelope. finish() seals the end and writes the tag.
//
// Memory stays bounded by a small buffer whatever the length of the stream.
class BackupSealer final : public QIODevice {
public:
    BackupSealer(const SymmetricKey& key, QIODevice* target);
    ~BackupSealer() override;

    // Opens for writing; fails when no random nonce can be made.
    [[nodiscard]] Status start();
    // Ends the box: the tag and the last Base64 characters go out.
    [[nodiscard]] Status finish();

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    bool pass(QByteArrayView bytes, bool last);
    bool fail(const QString& message);

    struct Cipher;
    Cipher* m_cipher;
    QIODevice* m_target;
    QByteArray m_carry; // up to two bytes not yet encoded
    QByteArray m_sealed;
    QByteArray m_text;
    bool m_finished = false;
};
