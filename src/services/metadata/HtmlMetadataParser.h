#pragma once

#include "FetchedMetadata.h"

#include <QString>
#include <QStringView>
#include <QUrl>

#include <optional>

// HTML metadata extraction: the Open Graph, Twitter and plain meta
// elements and the title element of a page, read from the raw text.
//
// The extraction is defined by regular expressions, matched
// case-insensitively, leftmost first, with backtracking. Those patterns take
// quadratic (pattern B: cubic) time on hostile text such as megabytes of
// "<meta" without a ">". This is a hand-written scanner that gives exactly the
// same captures wherever the patterns finish, in linear time on every input;
// tests/support/HtmlReferenceParser is the literal transcription it is checked
// against (tests and fuzz/html_fuzz.cpp).
//
// Text that is not valid UTF-16 (a lone surrogate) is read unit by unit; the
// platform's patterns refuse such text altogether.
//
// Pure functions of their arguments; safe on any thread.
namespace HtmlMetadataParser {

// Title, description, image address (made absolute), site name and author;
// publishDate is always absent. Never fails.
FetchedMetadata parseHTML(const QString& html, const QUrl& pageURL);

// The content of the first meta element whose property (name) attribute is
// `key`, entity-decoded and not trimmed, or absent. `key` is literal text
// matched case-insensitively; like the extraction's keys it may hold only ASCII
// letters, digits, ':', '_' and '-'.
std::optional<QString> extractMetaProperty(const QString& html, QStringView key);
std::optional<QString> extractMetaName(const QString& html, QStringView key);

// The text of the first title element, entity-decoded and not trimmed, or absent.
std::optional<QString> extractTitleElement(const QString& html);

// Entities in two passes: first eleven literal replacements in order
// ("&amp;" first, then "&lt;", "&gt;", "&quot;", "&apos;", "&#39;",
// "&nbsp;", "&#x27;", "&#x2F;", "&#x60;", "&#x3D;"), then decimal references
// ("&#NNN;") of valid Unicode scalar values.
QString decodeHTMLEntities(const QString& text);

// The image address as parseHTML gives it: a value not starting with "http"
// is resolved against the page URL when it is a valid URL reference;
// otherwise it is kept.
QString resolveImageAddress(const QString& image, const QUrl& pageURL);

} // namespace HtmlMetadataParser
