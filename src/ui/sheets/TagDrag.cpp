#include "TagDrag.h"

#include "model/Tag.h"
#include "model/TagDragItem.h"
#include "store/ModelContext.h"

#include <QMimeData>

namespace TagDrag {

QMimeData* mimeData(const Tag& tag)
{
    auto* data = new QMimeData;
    data->setData(TagDragItem::mimeType(), TagDragItem{tag.id()}.toJson());
    return data;
}

bool hasPayload(const QMimeData* data)
{
    return data && data->hasFormat(TagDragItem::mimeType());
}

QList<Tag*> tags(const QMimeData* data, const ModelContext& context)
{
    if (!hasPayload(data))
        return {};
    const auto item = TagDragItem::fromJson(data->data(TagDragItem::mimeType()));
    if (!item)
        return {};
    Tag* tag = context.tag(item->tagId);
    if (!tag || tag->isDeleted())
        return {};
    return {tag};
}

} // namespace TagDrag
