// Byte layout of the activity log: one group of lines per firmware hotkey
// event. Plain C++ so the exact bytes can be checked without Windows.
#pragma once

#include <string>
#include <vector>

namespace vx {

struct LogTime {
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Line kinds accepted by the log writer.
enum LogKind : int {
    kLogEventHeader = 0,  // time stamp line, then the event value text (no line end)
    kLogEventName = 1,    // "\t<< name >>\r\n", continues the header's second line
    kLogDetail2 = 2,
    kLogDetail3 = 3,
    kLogDetail4 = 4,      // kinds 2 to 4: "\tdetail\r\n"
};

// The time stamp line: "<<MM" month "DD" day "  hh:mm:ss>> \r\n", where month and
// day are the Big5 bytes A4 EB and A4 E9 whatever the system code page.
std::string FormatLogTimestamp(const LogTime& t);

// The pieces one WriteLogLine call writes, in order, each as one write.
// Kind 0 gives two pieces (time stamp line and event value text); kinds 1 to 4
// give one; any other kind gives none.
std::vector<std::string> FormatLogWrites(int kind, const std::string& text, const LogTime& t);

// An event code as the header shows it: lower-case hexadecimal, no leading zeros.
std::string FormatEventCode(unsigned code);

}  // namespace vx
