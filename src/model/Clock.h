#pragma once

#include <QDateTime>

#include <functional>

// The one source of "now" for records and rules, so tests can pin time.
namespace Clock {

QDateTime now();

// Replaces the clock until reset with an empty function. Main thread only.
void setOverride(std::function<QDateTime()> source);

} // namespace Clock
