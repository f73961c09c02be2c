#include "asn1/generalized_time.h"

#include <boost/polymorphic_cast.hpp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace ASN1 {

const GeneralizedTime::InfoType GeneralizedTime::theInfo = {&detail::create<GeneralizedTime>, 24};

GeneralizedTime::GeneralizedTime(const char* text, const InfoType* info) : ValueKind(info) {
    set(text);
}

GeneralizedTime::GeneralizedTime(int year, int month, int day, int hour, int minute, int second,
                                 int millisec, int mindiff, bool utc)
    : ValueKind(&theInfo),
      year(year),
      month(month),
      day(day),
      hour(hour),
      minute(minute),
      second(second),
      millisec(millisec),
      mindiff(mindiff),
      utc(utc) {}

std::string GeneralizedTime::get() const {
    char buf[96];
    int n = std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", year, month, day, hour,
                          minute, second);
    std::string text(buf, n);
    if (millisec != 0) {
        n = std::snprintf(buf, sizeof buf, ".%03d", millisec);
        text.append(buf, n);
    }
    if (utc) {
        text += 'Z';
    } else if (mindiff != 0) {
        // The sign of the whole offset: -30 minutes is "-0030".
        long long minutes = std::llabs(static_cast<long long>(mindiff));
        n = std::snprintf(buf, sizeof buf, "%c%02lld%02lld", mindiff < 0 ? '-' : '+', minutes / 60,
                          minutes % 60);
        text.append(buf, n);
    }
    return text;
}

void GeneralizedTime::set(const char* text) {
    std::sscanf(text, "%4d%2d%2d%2d%2d%2d", &year, &month, &day, &hour, &minute, &second);
    size_t len = std::strlen(text);
    if (len > 14 && text[14] == '.') {
        double fraction = 0;
        if (std::sscanf(text + 14, "%lf", &fraction) == 1 && fraction >= 0 && fraction < 1) {
            millisec = static_cast<int>(fraction * 1000);
        }
    }
    if (len > 0 && text[len - 1] == 'Z') {
        utc = true;
    } else if (len >= 5 && (text[len - 5] == '+' || text[len - 5] == '-')) {
        int hhmm = 0;
        if (std::sscanf(text + len - 5, "%5d", &hhmm) == 1) mindiff = hhmm / 100 * 60 + hhmm % 100;
    }
}

time_t GeneralizedTime::get_time_t() const {
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return mktime(&t);
}

void GeneralizedTime::set_time_t(time_t seconds) {
    struct tm t;
    if (gmtime_r(&seconds, &t) == nullptr) return;
    year = t.tm_year + 1900;
    month = t.tm_mon + 1;
    day = t.tm_mday;
    hour = t.tm_hour;
    minute = t.tm_min;
    second = t.tm_sec;
}

void GeneralizedTime::swap(GeneralizedTime& other) {
    std::swap(year, other.year);
    std::swap(month, other.month);
    std::swap(day, other.day);
    std::swap(hour, other.hour);
    std::swap(minute, other.minute);
    std::swap(second, other.second);
    std::swap(millisec, other.millisec);
    std::swap(mindiff, other.mindiff);
    std::swap(utc, other.utc);
}

int GeneralizedTime::do_compare(const AbstractData& other) const {
    const GeneralizedTime& that = *boost::polymorphic_downcast<const GeneralizedTime*>(&other);
    const int mine[] = {year, month, day, hour, minute, second, millisec, mindiff, utc};
    const int theirs[] = {that.year,   that.month,    that.day,     that.hour, that.minute,
                          that.second, that.millisec, that.mindiff, that.utc};
    for (size_t i = 0; i < sizeof mine / sizeof mine[0]; ++i) {
        if (mine[i] != theirs[i]) return detail::compareValues(mine[i], theirs[i]);
    }
    return 0;
}

}  // namespace ASN1
