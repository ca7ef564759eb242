#pragma once

#include <QFuture>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

// What a desktop link-preview component tells about a page: its title and,
// when it found a preview picture, the page's video and canonical addresses.
struct LinkPreviewMetadata {
    std::optional<QString> title;
    bool hasImage = false;
    std::optional<QUrl> remoteVideoURL;
    std::optional<QUrl> canonicalURL;
};

// Result of one link-preview request: the metadata, or an error (dropped by
// callers, who then read the page themselves).
struct LinkPreviewOutcome {
    std::optional<LinkPreviewMetadata> metadata;
    QString error;
};

// A link-preview component: given a URL, delivers metadata or an error.
// Requests are started on the main thread.
class LinkPreviewProvider {
public:
    virtual ~LinkPreviewProvider() = default;
    virtual QFuture<LinkPreviewOutcome> fetch(const QUrl& url) = 0;

    // The desktop's provider. Linux desktops offer no link-preview service,
    // so this one always fails and every fetch reads the page's HTML.
    static std::shared_ptr<LinkPreviewProvider> platformDefault();
};
