#include "activity_log.h"

#include "log_format.h"

#include <lmcons.h>
#include <shlobj.h>

namespace vx {

namespace {

constexpr char kLogFileName[] = "CVNLogFile.txt";

bool IsDirectory(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::string CVXActivityLog::FilePath() {
    char user[UNLEN + 1] = {};
    DWORD size = sizeof user;
    if (!GetUserNameA(user, &size)) user[0] = '\0';
    std::string documents = std::string("C:\\Users\\") + user + "\\Documents";
    if (!IsDirectory(documents)) {
        // Systems whose user folders live elsewhere: the user's own Documents folder.
        char personal[MAX_PATH] = {};
        if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, personal)))
            documents = personal;
    }
    return documents + "\\" + kLogFileName;
}

CVXActivityLog::CVXActivityLog()
    : m_file(CreateFileA(FilePath().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}

void CVXActivityLog::Write(int kind, const std::string& text) {
    if (!m_file) return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    const LogTime t{now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
    for (const std::string& piece : FormatLogWrites(kind, text, t)) {
        // Another writer may have extended the file since the last write.
        SetFilePointer(m_file.Get(), 0, nullptr, FILE_END);
        DWORD written = 0;
        WriteFile(m_file.Get(), piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr);
    }
}

}  // namespace vx
