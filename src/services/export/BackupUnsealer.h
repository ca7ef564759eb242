#pragma once

#include "ImportError.h"

#include "model/Result.h"
#include "services/security/SymmetricKey.h"

#include <QByteArray>

#include <optional>

class QIODevice;

// The text of an envelope's "data" string decoded as it comes, a piece at a
// time: JSON escapes resolved ("\/" stands for '/'), then strict Base64 -
// letters only, at most two '=' at the very end, a length that is a
// multiple of four - as ExportDocumentReader::decodeBase64 reads it whole.
class SealedText {
public:
    // Appends what the piece stands for to `out` (whole groups of four as
    // far as they go; the rest waits for the next piece). `last` ends the
    // text. False once the text is not strict Base64.
    bool decode(QByteArrayView piece, bool last, QByteArray& out);

private:
    bool take(QByteArrayView text, bool last);

    QByteArray m_escape; // an escape cut by the end of a piece
    QByteArray m_quads;  // Base64 characters not yet decoded
    bool m_failed = false;
};

// Opens a backup's sealed data as it reads it: the Base64 text of nonce |
// ciphertext | tag (the combined form BackupSealer writes), as it lies
// between the quotes of the envelope's "data" string, JSON escapes and all,
// decoded and decrypted with AES-256-GCM a piece at a time. Memory stays
// bounded by a few pieces whatever the length of the data.
//
// Nothing read is authentic until finish() has checked the tag after the
// last byte: whoever reads must not let anything it read take effect before.
class BackupUnsealer {
public:
    // The text lies in [begin, end) of the device, which must be able to seek there.
    BackupUnsealer(const SymmetricKey& key, QIODevice* text, qint64 begin, qint64 end);
    ~BackupUnsealer();
    BackupUnsealer(const BackupUnsealer&) = delete;
    BackupUnsealer& operator=(const BackupUnsealer&) = delete;

    // Up to maxSize bytes of the plain text; 0 at its end or after a failure.
    qsizetype read(char* into, qsizetype maxSize);
    // How much of the text has been read, of how much.
    qint64 textRead() const { return m_at - m_begin; }
    qint64 textSize() const { return m_end - m_begin; }
    // Reads what is left, then: invalidFormat when the text is not strict
    // Base64, decryptionFailed for a wrong key or changed data (or data too
    // short to hold a nonce and a tag), decodingFailed when the file could
    // not be read; success when the tag is authentic.
    Result<void, ImportError> finish();

private:
    bool pullText();
    void takeNonce();
    void fail(ImportError error);

    struct Cipher;
    Cipher* m_cipher;
    QIODevice* m_device;
    qint64 m_begin;
    qint64 m_at;
    qint64 m_end;
    QByteArray m_piece;
    SealedText m_text;
    QByteArray m_sealed; // decoded bytes not yet decrypted (the last 16 may be the tag)
    qsizetype m_sealedAt = 0;
    qint64 m_sealedTotal = 0;
    bool m_nonceSet = false;
    bool m_textEnded = false;
    std::optional<ImportError> m_error;
};
