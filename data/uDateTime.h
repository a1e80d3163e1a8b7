// Dates and times as stored by the phonebook and the settings: a double
// counting days since 30 December 1899, the fraction being the time of day
// (for days before that date the fraction still counts forwards from
// midnight). Written in one form, "yyyy-mm-dd hh:nn:ss", and read leniently,
// so dates written by other programs and by hand still load.
#pragma once
#include <string>
#include <string_view>

#include "platform/Tick.h"

using TDateTime = double;

// False for a date outside 0001-01-01..9999-12-31 or a day the month lacks.
bool TryEncodeDate(int year, int month, int day, TDateTime& value);
// Hour 0..23, minute and second 0..59, millisecond 0..999; false otherwise.
bool TryEncodeDateTime(const platform::LocalTime& t, TDateTime& value);
// To the nearest millisecond.
platform::LocalTime DecodeDateTime(TDateTime value);

TDateTime NowDateTime();

// "yyyy-mm-dd hh:nn:ss", rounded to the second.
std::string FormatIsoDateTime(TDateTime value);
// "yyyy-mm-dd" of the day the value falls on.
std::string FormatIsoDate(TDateTime value);

// Reads a date with an optional time of day. Dates: yyyy-mm-dd, yyyy/mm/dd,
// yyyy.mm.dd, dd.mm.yyyy, dd-mm-yyyy and mm/dd/yyyy (dd/mm/yyyy when the first
// number cannot be a month); a two-digit year means 1950..2049. Times, after
// blanks or "T": h:nn, h:nn:ss, with a fraction of a second after "." or ","
// and an optional AM/PM. False for anything else.
bool TryParseDateTime(std::string_view text, TDateTime& value);
