#pragma once

#include "services/metadata/FetchedMetadata.h"

#include <QString>
#include <QUrl>

#include <optional>

// The HTML extraction's regular expressions transcribed literally with QRegularExpression:
// the patterns compiled anew for every lookup, leftmost match, capture group 1.
// Slow (quadratic and worse on hostile text); used only by the tests and the
// fuzz target to check HtmlMetadataParser against.
namespace HtmlReferenceParser {

// Cleared when a match did not run to completion: PCRE2 stops with an error on
// invalid UTF-16 and on its match and stack limits, and then nothing can be
// said about what the patterns would have given.
struct Status {
    bool complete = true;
};

FetchedMetadata parseHTML(const QString& html, const QUrl& pageURL, Status* status = nullptr);
std::optional<QString> extractMetaProperty(const QString& html, const QString& key, Status* status = nullptr);
std::optional<QString> extractMetaName(const QString& html, const QString& key, Status* status = nullptr);
std::optional<QString> extractTitleElement(const QString& html, Status* status = nullptr);
QString decodeHTMLEntities(const QString& text, Status* status = nullptr);

} // namespace HtmlReferenceParser
