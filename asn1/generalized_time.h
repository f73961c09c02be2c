#ifndef KORVAND_ASN1_GENERALIZED_TIME_H
#define KORVAND_ASN1_GENERALIZED_TIME_H

#include <ctime>
#include <string>

#include "asn1/value_kind.h"

namespace ASN1 {

// Calendar fields with milliseconds and a zone offset in minutes. No type of
// the schemas uses it; it is part of the runtime's value set.
class GeneralizedTime : public detail::ValueKind<GeneralizedTime, AbstractData> {
public:
    typedef TypeInfo InfoType;
    static const InfoType theInfo;

    explicit GeneralizedTime(const InfoType* info = &theInfo) : ValueKind(info) {}
    explicit GeneralizedTime(const char* text, const InfoType* info = &theInfo);
    GeneralizedTime(int year, int month, int day, int hour, int minute, int second,
                    int millisec = 0, int mindiff = 0, bool utc = false);
    static AbstractData* create(const void* info) { return detail::create<GeneralizedTime>(info); }

    // "YYYYMMDDhhmmss", then ".fff" when there are milliseconds, then "Z"
    // for UTC or else "+hhmm"/"-hhmm" for a zone offset.
    std::string get() const;
    // Reads the form of get(); fields the text does not supply keep their
    // values. The zone "+hhmm" is stored as minutes.
    void set(const char* text);
    // The calendar fields taken as local time, in seconds since the epoch.
    time_t get_time_t() const;
    // Sets the calendar fields from seconds since the epoch taken as UTC.
    void set_time_t(time_t seconds);
    void swap(GeneralizedTime& other);
    // Every field within its calendar range.
    bool isStrictlyValid() const;

    int getYear() const { return year; }
    int getMonth() const { return month; }
    int getDay() const { return day; }
    int getHour() const { return hour; }
    int getMinute() const { return minute; }
    int getSecond() const { return second; }
    int getMillisec() const { return millisec; }
    int getMinuteDifference() const { return mindiff; }
    bool getUTC() const { return utc; }

private:
    int do_compare(const AbstractData& other) const override;

    int year = 1;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisec = 0;
    int mindiff = 0;
    bool utc = false;
};

}  // namespace ASN1

#endif
