#include "log_format.h"

#include <cstdio>

namespace vx {

namespace {

// The Big5 encodings of the characters for "month" and "day".
constexpr char kMonthBytes[] = "\xA4\xEB";
constexpr char kDayBytes[] = "\xA4\xE9";

std::string TwoDigits(int value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.2d", value);
    return buf;
}

}  // namespace

std::string FormatLogTimestamp(const LogTime& t) {
    std::string line = "<<";
    line += TwoDigits(t.month);
    line += kMonthBytes;
    line += TwoDigits(t.day);
    line += kDayBytes;
    line += "  " + TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second) + ">> \r\n";
    return line;
}

std::vector<std::string> FormatLogWrites(int kind, const std::string& text, const LogTime& t) {
    switch (kind) {
    case kLogEventHeader:
        return {FormatLogTimestamp(t), "CVN receive WMI Event value : " + text + "  "};
    case kLogEventName:
        return {"\t<< " + text + " >>\r\n"};
    case kLogDetail2:
    case kLogDetail3:
    case kLogDetail4:
        return {"\t" + text + "\r\n"};
    default:
        return {};
    }
}

std::string FormatEventCode(unsigned code) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%x", code);
    return buf;
}

}  // namespace vx
