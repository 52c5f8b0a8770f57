#include "platform/services/datetime.h"

namespace dd {

// The date is always written; the time is written down to its last non-zero field, except
// that a non-zero second brings the minute along even when that is 0, so "14时0分9秒" never
// reads as "14时9秒". Exactly midnight has no time part at all.
std::string dateTimeText(const DateTime& when) {
    std::string text = std::to_string(when.year) + "年" + std::to_string(when.month) + "月" +
                       std::to_string(when.day) + "日";
    if (when.second != 0) {
        text += std::to_string(when.hour) + "时" + std::to_string(when.minute) + "分" +
                std::to_string(when.second) + "秒";
    } else if (when.minute != 0) {
        text += std::to_string(when.hour) + "时" + std::to_string(when.minute) + "分";
    } else if (when.hour != 0) {
        text += std::to_string(when.hour) + "时";
    }
    return text;
}

} // namespace dd
