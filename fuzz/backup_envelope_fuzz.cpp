// libFuzzer target for the envelope of encrypted backups.
//
// The envelope is the one part of a backup read before the passphrase is
// checked, so it is what a crafted file attacks. Every input is parsed; an
// envelope that parses must carry a salt and sealed data, and a key
// derivation that is either HKDF ("1.0") or scrypt within the bounds that
// keep a restore from allocating gigabytes.
//
// Every input is also scanned as a file is (the sealed data left where it
// lies) and its data text decoded in pieces, as a restore does: the two
// ways must agree on every envelope, and on the bytes of its data.
//
//   cmake --preset fuzz && cmake --build --preset fuzz --target backup_envelope_fuzz
//   build/fuzz/fuzz/backup_envelope_fuzz -dict=fuzz/json.dict fuzz/corpus/backup_envelope

#include "services/export/BackupEnvelope.h"
#include "services/export/BackupUnsealer.h"

#include <QBuffer>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

// The scanned data's text decoded in pieces of 1 to 8 bytes; none when it is not strict Base64.
std::optional<QByteArray> sealedBytes(const QByteArray& input, const BackupEnvelope& scanned)
{
    if (scanned.sealedTextBegin < 0)
        return scanned.sealed;
    const QByteArrayView text =
        QByteArrayView(input).sliced(scanned.sealedTextBegin, scanned.sealedTextEnd - scanned.sealedTextBegin);
    const qsizetype piece = 1 + text.size() % 8;
    SealedText decoder;
    QByteArray bytes;
    qsizetype at = 0;
    do {
        const qsizetype n = std::min(piece, text.size() - at);
        const bool last = at + n == text.size();
        if (!decoder.decode(text.sliced(at, n), last, bytes))
            return std::nullopt;
        at += n;
    } while (at < text.size());
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto parsed = BackupEnvelope::parse(input);
    if (parsed) {
        const BackupEnvelope& envelope = parsed.value();
        if (envelope.kdf && !envelope.kdf->withinBounds())
            fail("an envelope with a key derivation out of bounds was accepted");
        if (envelope.version == "2.0" && !envelope.kdf)
            fail("a 2.0 envelope without scrypt was accepted");
    }

    QBuffer file(&input);
    file.open(QIODevice::ReadOnly);
    const auto scanned = BackupEnvelope::scan(file);
    // Scanning leaves the data's text to the decoder: that is the one thing
    // it may accept that parsing refuses.
    const std::optional<QByteArray> sealed = scanned ? sealedBytes(input, scanned.value()) : std::nullopt;
    if (bool(parsed) != (scanned && sealed))
        fail("parsing and scanning disagree on the envelope");
    if (parsed) {
        const BackupEnvelope& a = parsed.value();
        const BackupEnvelope& b = scanned.value();
        const bool sameKdf = a.kdf.has_value() == b.kdf.has_value()
                             && (!a.kdf || (a.kdf->n == b.kdf->n && a.kdf->r == b.kdf->r && a.kdf->p == b.kdf->p));
        if (a.version != b.version || a.salt != b.salt || !sameKdf || a.sealed != *sealed)
            fail("parsing and scanning read the envelope differently");
    }
    return 0;
}
