#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// What the metadata service learns about a web page. An absent field
// means "not found"; a found value may be the empty text. Built by the HTML
// extractor and from link-preview results; nothing persists it.
struct FetchedMetadata {
    std::optional<QString> title = std::nullopt;
    std::optional<QString> description = std::nullopt;
    std::optional<QString> imageURL = std::nullopt;
    std::optional<QString> siteName = std::nullopt;
    std::optional<QString> author = std::nullopt;
    std::optional<QDateTime> publishDate = std::nullopt;

    bool operator==(const FetchedMetadata&) const = default;
};
