// The local clock on Windows. The rest of the date-time service is portable (datetime.cpp).
#include "platform/services/datetime.h"

#include <windows.h>

namespace dd {

DateTime currentDateTime() {
    // The system's own local time, in the time zone the user chose in Windows.
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return DateTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

} // namespace dd
