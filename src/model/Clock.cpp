#include "Clock.h"

namespace {
std::function<QDateTime()>& overrideSource()
{
    static std::function<QDateTime()> s_source;
    return s_source;
}
} // namespace

QDateTime Clock::now()
{
    if (const auto& source = overrideSource())
        return source();
    return QDateTime::currentDateTimeUtc();
}

void Clock::setOverride(std::function<QDateTime()> source)
{
    overrideSource() = std::move(source);
}

QDateTime Clock::fromMSecsUtc(qint64 msecs)
{
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
}
