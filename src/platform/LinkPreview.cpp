#include "LinkPreview.h"

#include <QFuture>

using namespace Qt::StringLiterals;

namespace {
class UnavailableLinkPreview final : public LinkPreviewProvider {
public:
    QFuture<LinkPreviewOutcome> fetch(const QUrl&) override
    {
        return QtFuture::makeReadyFuture(LinkPreviewOutcome{std::nullopt, u"no link-preview service"_s});
    }
};
} // namespace

std::shared_ptr<LinkPreviewProvider> LinkPreviewProvider::platformDefault()
{
    static const auto s_provider = std::make_shared<UnavailableLinkPreview>();
    return s_provider;
}
