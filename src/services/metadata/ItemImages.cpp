// The item operations that go through the thumbnail service. They live with
// the service so the records themselves stay free of image decoding.

#include "ThumbnailService.h"

#include "model/Item.h"

void Item::setThumbnail(const QByteArray& bytes)
{
    const std::optional<QByteArray> thumbnail = ThumbnailService::generateThumbnail(bytes);
    if (!thumbnail)
        return;
    setThumbnailData(thumbnail);
    touch(ItemField::Thumbnail);
}

void Item::setImage(const QByteArray& bytes)
{
    const std::optional<QByteArray> image = ThumbnailService::compressImage(bytes);
    if (!image)
        return;
    setImageData(image);
    touch(ItemField::Image);
}
