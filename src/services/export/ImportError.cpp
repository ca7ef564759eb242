#include "ImportError.h"

using namespace Qt::StringLiterals;

QString ImportError::description() const
{
    switch (m_kind) {
    case Kind::invalidFormat: return u"Invalid file format"_s;
    case Kind::unsupportedVersion: return u"Unsupported export version"_s;
    case Kind::invalidPassphrase: return u"Invalid passphrase"_s;
    case Kind::decryptionFailed: return u"Failed to decrypt backup"_s;
    case Kind::decodingFailed:
    case Kind::saveFailed: return m_message;
    }
    return {};
}
