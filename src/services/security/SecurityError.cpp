#include "SecurityError.h"

#include <QStringList>

using namespace Qt::StringLiterals;

QString SecurityError::description() const
{
    switch (m_kind) {
    case Kind::keychainError: {
        // Messages that say the keychain cannot be used at all get one general text.
        static const QStringList s_unavailable = {u"Simulator"_s, u"real device"_s, u"not available"_s, u"Gerçek"_s,
                                                  u"34018"_s};
        for (const QString& marker : s_unavailable) {
            if (m_message.contains(marker, Qt::CaseSensitive))
                return u"Keychain access is not available. On a real Mac, ensure the app is properly signed (e.g. "
                       "build with your Developer ID or run from Xcode). On Simulator, use a real device for Touch ID "
                       "and encryption."_s;
        }
        return u"Keychain error: "_s + m_message;
    }
    case Kind::encryptionFailed: return u"Failed to encrypt data"_s;
    case Kind::decryptionFailed: return u"Failed to decrypt data"_s;
    case Kind::keyNotFound: return u"Encryption key not found"_s;
    case Kind::keyNotAvailable: return u"Encryption key not available"_s;
    case Kind::invalidPassphrase: return u"Invalid passphrase"_s;
    case Kind::invalidData: return u"Invalid data format"_s;
    case Kind::biometricNotAvailable: return u"Biometric authentication not available"_s;
    case Kind::biometricFailed: return u"Biometric authentication failed"_s;
    }
    return {};
}

QString SecurityError::debugText() const
{
    switch (m_kind) {
    case Kind::keychainError: {
        QString quoted = m_message;
        quoted.replace(u'\\', u"\\\\"_s).replace(u'"', u"\\\""_s);
        return u"keychainError(\""_s + quoted + u"\")"_s;
    }
    case Kind::encryptionFailed: return u"encryptionFailed"_s;
    case Kind::decryptionFailed: return u"decryptionFailed"_s;
    case Kind::keyNotFound: return u"keyNotFound"_s;
    case Kind::keyNotAvailable: return u"keyNotAvailable"_s;
    case Kind::invalidPassphrase: return u"invalidPassphrase"_s;
    case Kind::invalidData: return u"invalidData"_s;
    case Kind::biometricNotAvailable: return u"biometricNotAvailable"_s;
    case Kind::biometricFailed: return u"biometricFailed"_s;
    }
    return {};
}
