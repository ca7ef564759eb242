#pragma once

#include <QDateTime>

#include <functional>

// The one source of "now" for records and rules, so tests can pin time.
namespace Clock {

QDateTime now();

// Replaces the clock until reset with an empty function. Main thread only.
void setOverride(std::function<QDateTime()> source);

// A UTC instant from milliseconds since 1970. Uses the UTC time spec, which
// QDateTime stores inline (a time-zone object would cost a heap block per
// date, and a library holds three dates per item).
QDateTime fromMSecsUtc(qint64 msecs);

} // namespace Clock
