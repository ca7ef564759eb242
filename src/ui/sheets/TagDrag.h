#pragma once

#include <QList>

class ModelContext;
class QMimeData;
class Tag;

// Dragging tags between views: the payload is TagDragItem's JSON under the
// type "com.vellumkeep.tag". Every view that starts or takes a tag drag goes
// through here, so they all read the same bytes the same way.
namespace TagDrag {

// A new payload for the tag; the caller owns it (QDrag takes it).
QMimeData* mimeData(const Tag& tag);
// Whether the data carries a tag payload at all (a cheap test while dragging).
bool hasPayload(const QMimeData* data);
// The tags of this library that the payload names; empty when the data has
// no payload, the payload does not decode, or its tag is not (or no longer)
// in the context. A drop target refuses the drop when this is empty.
QList<Tag*> tags(const QMimeData* data, const ModelContext& context);

} // namespace TagDrag
