// libFuzzer target for the envelope of encrypted backups.
//
// The envelope is the one part of a backup read before the passphrase is
// checked, so it is what a crafted file attacks. Every input is parsed; an
// envelope that parses must carry a salt and sealed data, and a key
// derivation that is either HKDF ("1.0") or scrypt within the bounds that
// keep a restore from allocating gigabytes.
//
//   cmake --preset fuzz && cmake --build --preset fuzz --target backup_envelope_fuzz
//   build/fuzz/fuzz/backup_envelope_fuzz -dict=fuzz/json.dict fuzz/corpus/backup_envelope

#include "services/export/BackupEnvelope.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto parsed = BackupEnvelope::parse(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!parsed)
        return 0;
    const BackupEnvelope& envelope = parsed.value();
    if (envelope.kdf && !envelope.kdf->withinBounds()) {
        std::fputs("an envelope with a key derivation out of bounds was accepted\n", stderr);
        std::abort();
    }
    if (envelope.version == "2.0" && !envelope.kdf) {
        std::fputs("a 2.0 envelope without scrypt was accepted\n", stderr);
        std::abort();
    }
    return 0;
}
