#include "AppError.h"

using namespace Qt::StringLiterals;

QString AppError::description() const
{
    switch (m_kind) {
    case Kind::networkError: return u"Network Error: "_s + m_message;
    case Kind::storageError: return u"Storage Error: "_s + m_message;
    case Kind::encryptionError: return u"Encryption Error: "_s + m_message;
    case Kind::importError: return u"Import Error: "_s + m_message;
    case Kind::exportError: return u"Export Error: "_s + m_message;
    case Kind::unknown: return u"Error: "_s + m_message;
    case Kind::invalidURL: return u"Invalid URL provided"_s;
    case Kind::metadataFetchFailed: return u"Failed to fetch page metadata"_s;
    }
    return {};
}

QString AppError::recoverySuggestion() const
{
    switch (m_kind) {
    case Kind::networkError: return u"Check your internet connection and try again."_s;
    case Kind::storageError: return u"Check available storage space."_s;
    case Kind::encryptionError: return u"Try restarting the app."_s;
    case Kind::importError: return u"Ensure the file format is correct."_s;
    case Kind::exportError: return u"Choose a different location with write permissions."_s;
    case Kind::unknown: return u"Try again or contact support."_s;
    case Kind::invalidURL: return u"Check the URL format."_s;
    case Kind::metadataFetchFailed: return u"The item was saved but metadata could not be fetched."_s;
    }
    return {};
}

QString AppError::identifier() const
{
    switch (m_kind) {
    case Kind::networkError: return u"network_"_s + m_message;
    case Kind::storageError: return u"storage_"_s + m_message;
    case Kind::encryptionError: return u"encryption_"_s + m_message;
    case Kind::importError: return u"import_"_s + m_message;
    case Kind::exportError: return u"export_"_s + m_message;
    case Kind::unknown: return u"unknown_"_s + m_message;
    case Kind::invalidURL: return u"invalid_url"_s;
    case Kind::metadataFetchFailed: return u"metadata_failed"_s;
    }
    return {};
}
