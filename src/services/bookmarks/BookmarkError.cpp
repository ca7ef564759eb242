#include "BookmarkError.h"

using namespace Qt::StringLiterals;

QString BookmarkError::description() const
{
    switch (m_kind) {
    case Kind::notBookmarkFile: return u"Not a bookmark file"_s;
    case Kind::canceled: return u"Canceled"_s;
    case Kind::readFailed:
    case Kind::saveFailed:
    case Kind::writeFailed: break;
    }
    return m_message;
}
