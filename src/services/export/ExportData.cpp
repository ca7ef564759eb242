#include "ExportData.h"

#include "model/Clock.h"

namespace {

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void civilFromDays(qint64 days, qint64& year, int& month, int& day)
{
    days += 719468;
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const qint64 dayOfEra = days - era * 146097;
    const qint64 yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const qint64 mp = (5 * dayOfYear + 2) / 153;
    day = int(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

char16_t* digits(char16_t* out, qint64 value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = char16_t(u'0' + value % 10);
        value /= 10;
    }
    return out + width;
}

} // namespace

QString ExportData::formatDate(qint64 msecs)
{
    constexpr qint64 kDay = 86400000;
    const qint64 days = (msecs >= 0 ? msecs : msecs - (kDay - 1)) / kDay;
    const qint64 inDay = msecs - days * kDay;
    qint64 year = 0;
    int month = 0;
    int day = 0;
    civilFromDays(days, year, month, day);
    if (year < 0 || year > 9999) {
        // Outside four-digit years the general formatter knows the conventions.
        return Clock::fromMSecsUtc(msecs).toString(Qt::ISODateWithMs);
    }
    QString text(24, Qt::Uninitialized);
    char16_t* p = reinterpret_cast<char16_t*>(text.data());
    p = digits(p, year, 4);
    *p++ = u'-';
    p = digits(p, month, 2);
    *p++ = u'-';
    p = digits(p, day, 2);
    *p++ = u'T';
    p = digits(p, inDay / 3600000, 2);
    *p++ = u':';
    p = digits(p, inDay / 60000 % 60, 2);
    *p++ = u':';
    p = digits(p, inDay / 1000 % 60, 2);
    *p++ = u'.';
    p = digits(p, inDay % 1000, 3);
    *p = u'Z';
    return text;
}
