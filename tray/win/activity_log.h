// The activity log: a plain-text diary of firmware hotkey events, appended
// to a file in the user's Documents folder.
#pragma once

#include "handles.h"

#include <string>

namespace vx {

class CVXActivityLog {
public:
    // Opens (creating when missing) the log file; a file that cannot be opened
    // leaves every later write silently without effect.
    CVXActivityLog();
    CVXActivityLog(const CVXActivityLog&) = delete;
    CVXActivityLog& operator=(const CVXActivityLog&) = delete;

    // Appends one line of the given kind at the end of the file, whoever else
    // has written to it meanwhile.
    void Write(int kind, const std::string& text);

    // The file the log writes to.
    static std::string FilePath();

private:
    UniqueFile m_file;
};

}  // namespace vx
