// Local date and time to the whole second, and its text form. Pure functions, any thread.
#pragma once

#include <string>

namespace dd {

struct DateTime {
    int year = 0;
    int month = 0; // 1 to 12
    int day = 0;   // 1 to 31
    int hour = 0;  // 0 to 23
    int minute = 0;
    int second = 0;
};

// The local wall-clock time, the fraction of the second dropped.
DateTime currentDateTime();

// "2013年9月8日14时5分3秒"; trailing zero fields are left out (see the .cpp for the rules).
std::string dateTimeText(const DateTime& when);

} // namespace dd
