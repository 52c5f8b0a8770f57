// The local clock on Linux. The rest of the date-time service is portable (datetime.cpp).
#include "platform/services/datetime.h"

#include <cstdio>
#include <ctime>

namespace dd {

DateTime currentDateTime() {
    const std::time_t seconds = std::time(nullptr);
    std::tm parts{};
    // localtime_r rather than std::localtime: the sound workers run on other threads, and the
    // reentrant call shares no static buffer with anyone.
    if (localtime_r(&seconds, &parts) == nullptr) {
        // Only a clock beyond the range of the calendar gets here; the zero date-time then
        // names the file, which still saves.
        std::fprintf(stderr, "dongdong-recorder: the local time cannot be read\n");
        return DateTime{};
    }
    return DateTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                    parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

} // namespace dd
