// Windows tests of the bridge library, run under Wine: the status-name table,
// the parser and the property operations against Wine's own root\CIMV2, the
// COM set-up, the pipe client, and a scripted WMI stand-in for what a real
// namespace cannot be made to do on demand.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>
#include <psapi.h>
#include <wbemcli.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "Brindle.h"
#include "fake_wmi.h"
#include "test_support.h"

namespace {

// Reads a property of the first object of a query with plain WMI calls, as a
// reference that does not go through the bridge.
std::wstring ReadDirectly(const wchar_t* nameSpace, const wchar_t* query, const wchar_t* property) {
    CBrindle com;
    std::wstring result = L"<unreadable>";
    IWbemLocator* locator = nullptr;
    IWbemServices* services = nullptr;
    IEnumWbemClassObject* objects = nullptr;
    IWbemClassObject* object = nullptr;
    ULONG returned = 0;
    Wide ns(nameSpace), language(L"WQL"), text(query);
    if (SUCCEEDED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                   reinterpret_cast<void**>(&locator))) &&
        SUCCEEDED(locator->ConnectServer(ns, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services)) &&
        SUCCEEDED(services->ExecQuery(language, text, WBEM_FLAG_FORWARD_ONLY, nullptr, &objects)) &&
        objects->Next(WBEM_INFINITE, 1, &object, &returned) == WBEM_S_NO_ERROR) {
        VARIANT value;
        VariantInit(&value);
        if (SUCCEEDED(object->Get(property, 0, &value, nullptr, nullptr)) && value.vt == VT_BSTR) {
            result = value.bstrVal;
        }
        VariantClear(&value);
    }
    if (object) object->Release();
    if (objects) objects->Release();
    if (services) services->Release();
    if (locator) locator->Release();
    return result;
}

std::string Narrow(const std::wstring& text) {
    std::string out(text.size() * 2 + 1, '\0');
    int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(n > 0 ? n - 1 : 0);
    return out;
}

// --- status texts -----------------------------------------------------------

struct StatusProbe : CBrindle {
    using CBrindle::GetWMIErrMsg;
};

std::string StatusText(HRESULT code) {
    StatusProbe probe;
    char text[260];
    std::memset(text, '#', sizeof text);
    probe.GetWMIErrMsg(code, text);
    return text;
}

TEST(StatusText, NamesEveryReportedCode) {
    // The published values of the named codes.
    struct Named { unsigned long code; const char* name; };
    const Named named[] = {
        {0x00000001, "WBEM_S_FALSE"}, {0x00040001, "WBEM_S_ALREADY_EXISTS"}, {0x00040002, "WBEM_S_RESET_TO_DEFAULT"},
        {0x00040003, "WBEM_S_DIFFERENT"}, {0x00040004, "WBEM_S_TIMEDOUT"}, {0x00040005, "WBEM_S_NO_MORE_DATA"},
        {0x00040006, "WBEM_S_OPERATION_CANCELLED"}, {0x00040007, "WBEM_S_PENDING"},
        {0x00040008, "WBEM_S_DUPLICATE_OBJECTS"}, {0x00040009, "WBEM_S_ACCESS_DENIED"},
        {0x00040010, "WBEM_S_PARTIAL_RESULTS"}, {0x00040017, "WBEM_S_SOURCE_NOT_AVAILABLE"},
        {0x80041001, "WBEM_E_FAILED"}, {0x80041002, "WBEM_E_NOT_FOUND"}, {0x80041003, "WBEM_E_ACCESS_DENIED"},
        {0x80041004, "WBEM_E_PROVIDER_FAILURE"}, {0x80041005, "WBEM_E_TYPE_MISMATCH"},
        {0x80041006, "WBEM_E_OUT_OF_MEMORY"}, {0x80041007, "WBEM_E_INVALID_CONTEXT"},
        {0x80041008, "WBEM_E_INVALID_PARAMETER"}, {0x80041009, "WBEM_E_NOT_AVAILABLE"},
        {0x8004100a, "WBEM_E_CRITICAL_ERROR"}, {0x8004100b, "WBEM_E_INVALID_STREAM"},
        {0x8004100c, "WBEM_E_NOT_SUPPORTED"}, {0x8004100d, "WBEM_E_INVALID_SUPERCLASS"},
        {0x8004100e, "WBEM_E_INVALID_NAMESPACE"}, {0x8004100f, "WBEM_E_INVALID_OBJECT"},
        {0x80041010, "WBEM_E_INVALID_CLASS"}, {0x80041011, "WBEM_E_PROVIDER_NOT_FOUND"},
        {0x80041012, "WBEM_E_INVALID_PROVIDER_REGISTRATION"}, {0x80041013, "WBEM_E_PROVIDER_LOAD_FAILURE"},
        {0x80041014, "WBEM_E_INITIALIZATION_FAILURE"}, {0x80041015, "WBEM_E_TRANSPORT_FAILURE"},
        {0x80041016, "WBEM_E_INVALID_OPERATION"}, {0x80041017, "WBEM_E_INVALID_QUERY"},
        {0x80041018, "WBEM_E_INVALID_QUERY_TYPE"}, {0x80041019, "WBEM_E_ALREADY_EXISTS"},
        {0x8004101a, "WBEM_E_OVERRIDE_NOT_ALLOWED"}, {0x8004101b, "WBEM_E_PROPAGATED_QUALIFIER"},
        {0x8004101c, "WBEM_E_PROPAGATED_PROPERTY"}, {0x8004101d, "WBEM_E_UNEXPECTED"},
        {0x8004101e, "WBEM_E_ILLEGAL_OPERATION"}, {0x8004101f, "WBEM_E_CANNOT_BE_KEY"},
        {0x80041020, "WBEM_E_INCOMPLETE_CLASS"}, {0x80041021, "WBEM_E_INVALID_SYNTAX"},
        {0x80041022, "WBEM_E_NONDECORATED_OBJECT"}, {0x80041023, "WBEM_E_READ_ONLY"},
        {0x80041024, "WBEM_E_PROVIDER_NOT_CAPABLE"}, {0x80041025, "WBEM_E_CLASS_HAS_CHILDREN"},
        {0x80041026, "WBEM_E_CLASS_HAS_INSTANCES"}, {0x80041027, "WBEM_E_QUERY_NOT_IMPLEMENTED"},
        {0x80041028, "WBEM_E_ILLEGAL_NULL"}, {0x80041029, "WBEM_E_INVALID_QUALIFIER_TYPE"},
        {0x8004102a, "WBEM_E_INVALID_PROPERTY_TYPE"}, {0x8004102b, "WBEM_E_VALUE_OUT_OF_RANGE"},
        {0x8004102c, "WBEM_E_CANNOT_BE_SINGLETON"}, {0x8004102d, "WBEM_E_INVALID_CIM_TYPE"},
        {0x8004102e, "WBEM_E_INVALID_METHOD"}, {0x8004102f, "WBEM_E_INVALID_METHOD_PARAMETERS"},
        {0x80041030, "WBEM_E_SYSTEM_PROPERTY"}, {0x80041031, "WBEM_E_INVALID_PROPERTY"},
        {0x80041032, "WBEM_E_CALL_CANCELLED"}, {0x80041033, "WBEM_E_SHUTTING_DOWN"},
        {0x80041034, "WBEM_E_PROPAGATED_METHOD"}, {0x80041035, "WBEM_E_UNSUPPORTED_PARAMETER"},
        {0x80041036, "WBEM_E_MISSING_PARAMETER_ID"}, {0x80041037, "WBEM_E_INVALID_PARAMETER_ID"},
        {0x80041038, "WBEM_E_NONCONSECUTIVE_PARAMETER_IDS"}, {0x80041039, "WBEM_E_PARAMETER_ID_ON_RETVAL"},
        {0x8004103a, "WBEM_E_INVALID_OBJECT_PATH"}, {0x8004103b, "WBEM_E_OUT_OF_DISK_SPACE"},
        {0x8004103c, "WBEM_E_BUFFER_TOO_SMALL"}, {0x8004103d, "WBEM_E_UNSUPPORTED_PUT_EXTENSION"},
        {0x8004103e, "WBEM_E_UNKNOWN_OBJECT_TYPE"}, {0x8004103f, "WBEM_E_UNKNOWN_PACKET_TYPE"},
        {0x80041040, "WBEM_E_MARSHAL_VERSION_MISMATCH"}, {0x80041041, "WBEM_E_MARSHAL_INVALID_SIGNATURE"},
        {0x80041042, "WBEM_E_INVALID_QUALIFIER"}, {0x80041043, "WBEM_E_INVALID_DUPLICATE_PARAMETER"},
        {0x80041044, "WBEM_E_TOO_MUCH_DATA"}, {0x80041045, "WBEM_E_SERVER_TOO_BUSY"},
        {0x80041046, "WBEM_E_INVALID_FLAVOR"}, {0x80041047, "WBEM_E_CIRCULAR_REFERENCE"},
        {0x80041048, "WBEM_E_UNSUPPORTED_CLASS_UPDATE"}, {0x80041049, "WBEM_E_CANNOT_CHANGE_KEY_INHERITANCE"},
        {0x80041050, "WBEM_E_CANNOT_CHANGE_INDEX_INHERITANCE"}, {0x80041051, "WBEM_E_TOO_MANY_PROPERTIES"},
        {0x80041052, "WBEM_E_UPDATE_TYPE_MISMATCH"}, {0x80041053, "WBEM_E_UPDATE_OVERRIDE_NOT_ALLOWED"},
        {0x80041054, "WBEM_E_UPDATE_PROPAGATED_METHOD"}, {0x80041056, "WBEM_E_METHOD_DISABLED"},
        {0x80041057, "WBEM_E_REFRESHER_BUSY"}, {0x80041058, "WBEM_E_UNPARSABLE_QUERY"},
        {0x80041059, "WBEM_E_NOT_EVENT_CLASS"}, {0x8004105a, "WBEM_E_MISSING_GROUP_WITHIN"},
        {0x8004105b, "WBEM_E_MISSING_AGGREGATION_LIST"}, {0x8004105c, "WBEM_E_PROPERTY_NOT_AN_OBJECT"},
        {0x8004105d, "WBEM_E_AGGREGATING_BY_OBJECT"}, {0x8004105f, "WBEM_E_UNINTERPRETABLE_PROVIDER_QUERY"},
        {0x80041060, "WBEM_E_BACKUP_RESTORE_WINMGMT_RUNNING"}, {0x80041061, "WBEM_E_QUEUE_OVERFLOW"},
        {0x80041062, "WBEM_E_PRIVILEGE_NOT_HELD"}, {0x80041063, "WBEM_E_INVALID_OPERATOR"},
        {0x80041064, "WBEM_E_LOCAL_CREDENTIALS"}, {0x80041065, "WBEM_E_CANNOT_BE_ABSTRACT"},
        {0x80041066, "WBEM_E_AMENDED_OBJECT"}, {0x80041067, "WBEM_E_CLIENT_TOO_SLOW"},
        {0x80041068, "WBEM_E_NULL_SECURITY_DESCRIPTOR"}, {0x80041069, "WBEM_E_TIMED_OUT"},
        {0x8004106a, "WBEM_E_INVALID_ASSOCIATION"}, {0x8004106b, "WBEM_E_AMBIGUOUS_OPERATION"},
        {0x8004106c, "WBEM_E_QUOTA_VIOLATION"}, {0x8004106d, "WBEM_E_RESERVED_001"},
        {0x8004106e, "WBEM_E_RESERVED_002"}, {0x8004106f, "WBEM_E_UNSUPPORTED_LOCALE"},
        {0x80041070, "WBEM_E_HANDLE_OUT_OF_DATE"}, {0x80041071, "WBEM_E_CONNECTION_FAILED"},
        {0x80041072, "WBEM_E_INVALID_HANDLE_REQUEST"}, {0x80041073, "WBEM_E_PROPERTY_NAME_TOO_WIDE"},
        {0x80041074, "WBEM_E_CLASS_NAME_TOO_WIDE"}, {0x80041075, "WBEM_E_METHOD_NAME_TOO_WIDE"},
        {0x80041076, "WBEM_E_QUALIFIER_NAME_TOO_WIDE"},
    };
    for (const Named& n : named) {
        EXPECT_EQ(StatusText(static_cast<HRESULT>(n.code)), n.name);
    }
}

TEST(StatusText, FormatsEveryOtherCodeInHex) {
    struct Case { unsigned long code; const char* text; };
    const Case cases[] = {
        {0x00000000, "0x00000000"},  // success has no name here
        {0x80070005, "0x80070005"},  // the general access-denied code
        {0x80041055, "0x80041055"},  // a WMI code outside the named set
        {0x80041089, "0x80041089"},
        {0x00000002, "0x00000002"},
    };
    for (const Case& c : cases) EXPECT_EQ(StatusText(static_cast<HRESULT>(c.code)), c.text);
}

// --- the parser against Wine's root\CIMV2 -------------------------------------

TEST(ParserOnCimv2, RepliesAsTheCommandAsks) {
    const std::string pid = std::to_string(GetCurrentProcessId());
    const std::string self = R"(root\CIMV2:Q:Win32_Process where ProcessId = )" + pid;
    struct Case { std::string command; std::string reply; };
    const Case cases[] = {
        {R"(root\CIMV2:Q:Win32_BIOS:SMBIOSBIOSVersion:0)",
         Narrow(ReadDirectly(L"root\\CIMV2", L"Select * from Win32_BIOS", L"SMBIOSBIOSVersion"))},
        {self + ":ProcessId:0", pid},
        {self + ":ProcessId:0x", pid},              // the instance reads as 0
        {R"(root\nonexistent:Q:Win32_BIOS:SMBIOSBIOSVersion:0)", "WBEM_E_INVALID_NAMESPACE"},
        {R"(root\CIMV2:Q:Win32_BIOS:NoSuchProperty:0)", "WBEM_E_NOT_FOUND"},
        {R"(root\CIMV2:Q:Win32_SystemEnclosure:ChassisTypes:0)", "WBEM_E_TYPE_MISMATCH"},  // an array
        {R"(root\CIMV2:Q:Win32_BIOS:SMBIOSBIOSVersion:1)", kTooFew},
        {R"(root\CIMV2:Q:Win32_BIOS:SMBIOSBIOSVersion:2000000000)", kTooFew},
        {R"(root\CIMV2:Q:Win32_BIOS:SMBIOSBIOSVersion:99999999999)", kTooFew},
        {R"(root\CIMV2:Q:Win32_BIOS where Name = 'no such firmware':Name:0)", kNoObjects},
        {R"(root\CIMV2:Q:Win32_BIOS:SMBIOSBIOSVersion:-1)", kMalformed},
        {R"(root\CIMV2:q:Win32_BIOS:SMBIOSBIOSVersion:0)", kMalformed},
        {R"(root\CIMV2:Q:Win32_BIOS:SMBIOSBIOSVersion)", kMalformed},
    };
    for (const Case& c : cases) EXPECT_EQ(Reply(c.command), c.reply) << c.command;
}

TEST(ParserOnCimv2, NullValueRepliesEmptyText) {
    // Wine gives the command line of other processes as a null value; the
    // reading process is started by this one, so it is not ourselves.
    std::string reply = RunTool("bridge_cmd.exe", R"("root\CIMV2:Q:Win32_Process where ProcessId = )" +
                                                      std::to_string(GetCurrentProcessId()) + ":CommandLine:0\"");
    EXPECT_EQ(reply, "");
    EXPECT_EQ(Reply(R"(root\CIMV2:Q:Win32_Process where ProcessId = )" + std::to_string(GetCurrentProcessId()) +
                    ":CommandLine:0"),
              std::string(GetCommandLineA()).substr(0, 259));
}

TEST(ParserOnCimv2, LongValueIsCutTo259Bytes) {
    // A process whose own command line is 300 characters long reads it back.
    std::string padding(300, 'p');
    padding.replace(150, 2, "\xE9\xE8");  // two characters outside ASCII in the middle
    std::string arguments = "-self-command-line " + padding;
    EXPECT_EQ(RunTool("bridge_cmd.exe", arguments), ToolCommandLine("bridge_cmd.exe", arguments).substr(0, 259));
}

TEST(ParserOnCimv2, OperationMLeavesTheReplyAlone) {
    EXPECT_EQ(Reply(R"(root\CIMV2:M:Win32_BIOS:SMBIOSBIOSVersion:0)"), std::string(799, '#'));
}

TEST(ParserOnCimv2, FarInstanceAnswersWithBoundedMemory) {
    PROCESS_MEMORY_COUNTERS before{}, after{};
    GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);
    EXPECT_EQ(Reply(R"(root\CIMV2:Q:Win32_BIOS:SMBIOSBIOSVersion:2000000000)"), kTooFew);
    EXPECT_EQ(Reply(R"(root\CIMV2:S:Win32_BIOS:SMBIOSBIOSVersion:2000000000:1)"), kTooFew);
    GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after);
    EXPECT_LT(after.PeakWorkingSetSize, before.PeakWorkingSetSize + (64u << 20));
}

// --- the property operations against Wine's root\CIMV2 --------------------------

class Cimv2Operations : public testing::Test {
protected:
    CBrindle bridge;
    Wide cimv2{L"root\\CIMV2"};
    Wide wql{L"WQL"};
    Wide bios{L"Select * from Win32_BIOS"};
    char errorText[260];
    void SetUp() override { std::memset(errorText, '#', sizeof errorText); }
    std::string ErrorText() const { return std::string(errorText, strnlen(errorText, sizeof errorText)); }
};

TEST_F(Cimv2Operations, CountsObjectsOrFails) {
    Wide none{L"Select * from Win32_BIOS where Name = 'no such firmware'"};
    Wide nowhere{L"root\\nonexistent"};
    EXPECT_EQ(bridge.GetPropertyInstanceNumber(bios, errorText, cimv2, wql), 1);
    EXPECT_EQ(errorText[0], '#');  // untouched on success
    EXPECT_EQ(bridge.GetPropertyInstanceNumber(none, errorText, cimv2, wql), 0);
    EXPECT_EQ(bridge.GetPropertyInstanceNumber(bios, errorText, nowhere, wql), -1);
    EXPECT_EQ(ErrorText(), "WBEM_E_INVALID_NAMESPACE");
}

TEST_F(Cimv2Operations, QueryFillsEveryElementOrFails) {
    Wide version{L"SMBIOSBIOSVersion"};
    Wide unknown{L"NoSuchProperty"};
    char first[260], second[260];
    CValueArray values;
    values.Add(first);
    ASSERT_TRUE(bridge.QueryWMIProperty(bios, version.Address(), values, errorText, cimv2, wql));
    EXPECT_EQ(std::string(first), Narrow(ReadDirectly(L"root\\CIMV2", L"Select * from Win32_BIOS", L"SMBIOSBIOSVersion")));
    EXPECT_EQ(errorText[0], '#');

    EXPECT_FALSE(bridge.QueryWMIProperty(bios, unknown.Address(), values, errorText, cimv2, wql));
    EXPECT_EQ(ErrorText(), "WBEM_E_NOT_FOUND");

    values.Add(second);
    EXPECT_FALSE(bridge.QueryWMIProperty(bios, version.Address(), values, errorText, cimv2, wql));
    EXPECT_EQ(ErrorText(), kTooFew);
}

TEST_F(Cimv2Operations, WriteOfOnlyEmptyStringsSucceedsWithoutWriting) {
    // Wine refuses writes of Win32_BIOS, so success shows that nothing was written.
    Wide version{L"SMBIOSBIOSVersion"};
    Wide empty{L""};
    CValueArray values;
    values.Add(static_cast<BSTR>(empty));
    EXPECT_TRUE(bridge.SetWMIProperty(bios, version.Address(), values, errorText, cimv2, wql));
    EXPECT_EQ(errorText[0], '#');
}

// --- COM and the bridge object ---------------------------------------------------

TEST(BridgeObject, BalancesComOnItsThread) {
    HRESULT afterSta = E_FAIL, afterMta = E_FAIL;
    std::string mtaReply;
    std::thread([&] {
        { CBrindle bridge; }
        afterSta = CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // S_OK: COM was fully released
        if (SUCCEEDED(afterSta)) CoUninitialize();
    }).join();
    std::thread([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // the caller's own COM
        { CBrindle bridge; }
        mtaReply = Reply(R"(root\CIMV2:Q:Win32_BIOS:SMBIOSBIOSVersion:1)");
        afterMta = CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // S_FALSE: still the caller's
        if (SUCCEEDED(afterMta)) CoUninitialize();
        CoUninitialize();
    }).join();
    EXPECT_EQ(afterSta, S_OK);
    EXPECT_EQ(afterMta, S_FALSE);
    EXPECT_EQ(mtaReply, kTooFew);  // the bridge works on a thread of the multithreaded apartment too
}

TEST(BridgeObject, KeepsTheWindowsGeneration) {
    // Wine's per-program Windows version decides what the bridge object sees.
    const char* key = R"(Software\Wine\AppDefaults\bridge_cmd.exe)";
    struct Case { const char* version; const char* generation; };
    const Case cases[] = {{"winxp", "1"}, {"vista", "2"}, {"win7", "0"}, {"win10", "0"}};
    for (const Case& c : cases) {
        ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, key, "Version", REG_SZ, c.version,
                                  static_cast<DWORD>(std::strlen(c.version) + 1)),
                  ERROR_SUCCESS);
        EXPECT_EQ(RunTool("bridge_cmd.exe", "-generation"), c.generation) << c.version;
    }
    RegDeleteKeyA(HKEY_CURRENT_USER, key);
}

// The bridge object's layout, which the programs that embed it rely on.
struct BridgeLayout {
    HWND eventWindow;
    int osGeneration;
};
static_assert(sizeof(BridgeLayout) == sizeof(CBrindle));

BridgeLayout Fields(const CBrindle& bridge) {
    BridgeLayout layout;
    std::memcpy(&layout, static_cast<const void*>(&bridge), sizeof layout);
    return layout;
}

TEST(BridgeObject, AssignmentCopiesBothFields) {
    CBrindle a, b;
    a.AddHWND(reinterpret_cast<HWND>(0x1234));
    b = a;
    EXPECT_EQ(Fields(b).eventWindow, reinterpret_cast<HWND>(0x1234));
    EXPECT_EQ(Fields(b).osGeneration, Fields(a).osGeneration);
}

// --- the pipe client ----------------------------------------------------------------

constexpr char kPipeName[] = R"(\\.\pipe\simple)";

TEST(PipeClient, FailsAtOnceWithoutAServer) {
    if (WaitNamedPipeA(kPipeName, 1) || GetLastError() != ERROR_FILE_NOT_FOUND) {
        GTEST_SKIP() << "another program serves " << kPipeName << " in this prefix";
    }
    char request[80] = R"(root\WMI:Q:ZEL_Device:Device:0)";
    char reply[800] = {};
    EXPECT_FALSE(ZEL_CallNamePipe(request, sizeof request, reply, sizeof reply));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// The command pipe served once by a thread of the test: one request read,
// `onRequest` run with the pipe still connected, then `replySize` bytes of
// reply holding `replyText`. Clients that leave without a request are
// dropped and the next one is awaited.
class OneExchangeServer {
public:
    using Hook = std::function<void(HANDLE pipe)>;
    OneExchangeServer(const char* replyText, DWORD replySize, Hook onRequest = {})
        : m_pipe(CreateNamedPipeA(kPipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                  1, 1024, 1024, 1000, nullptr)) {
        if (!Created()) return;
        m_thread = std::thread([this, replyText, replySize, onRequest] {
            while (ConnectNamedPipe(m_pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) {
                if (!ReadFile(m_pipe, received, sizeof received, &receivedSize, nullptr) &&
                    GetLastError() != ERROR_MORE_DATA) {
                    DisconnectNamedPipe(m_pipe);
                    if (m_finishing) return;
                    continue;
                }
                if (onRequest) onRequest(m_pipe);
                std::vector<char> answer(replySize, '\0');
                std::strncpy(answer.data(), replyText, replySize);
                DWORD written = 0;
                WriteFile(m_pipe, answer.data(), replySize, &written, nullptr);
                FlushFileBuffers(m_pipe);
                break;
            }
            DisconnectNamedPipe(m_pipe);
        });
    }
    ~OneExchangeServer() { Finish(); }
    bool Created() const { return m_pipe != INVALID_HANDLE_VALUE; }
    // Waits for the exchange to end; a server still waiting for its client
    // is released by a client that connects and leaves.
    void Finish() {
        if (m_thread.joinable()) {
            m_finishing = true;
            HANDLE client = CreateFileA(kPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            if (client != INVALID_HANDLE_VALUE) CloseHandle(client);
            m_thread.join();
        }
        if (Created()) CloseHandle(m_pipe);
        m_pipe = INVALID_HANDLE_VALUE;
    }

    char received[200] = {};
    DWORD receivedSize = 0;

private:
    HANDLE m_pipe;
    std::atomic<bool> m_finishing{false};
    std::thread m_thread;
};

TEST(PipeClient, ExchangesOneMessageEachWay) {
    OneExchangeServer server(kMalformed, 180);
    if (!server.Created()) GTEST_SKIP() << "another program serves " << kPipeName << " in this prefix";

    char request[80] = R"(root\WMI:Q:ZEL_System:System)";
    char reply[800];
    std::memset(reply, '#', sizeof reply);
    BOOL ok = ZEL_CallNamePipe(request, sizeof request, reply, sizeof reply);
    server.Finish();

    ASSERT_TRUE(ok);
    EXPECT_STREQ(reply, kMalformed);
    ASSERT_EQ(server.receivedSize, sizeof request);
    EXPECT_EQ(std::memcmp(server.received, request, sizeof request), 0);
}

// The impersonation level a server gets from the client that `call` connects.
// False when the server could not impersonate it at all.
bool LevelTheServerGets(const std::function<BOOL()>& call, SECURITY_IMPERSONATION_LEVEL& level) {
    bool impersonated = false;
    OneExchangeServer server(kMalformed, 180, [&](HANDLE pipe) {
        if (!ImpersonateNamedPipeClient(pipe)) return;
        HANDLE token = nullptr;
        if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
            DWORD size = 0;
            impersonated = GetTokenInformation(token, TokenImpersonationLevel, &level, sizeof level, &size) != FALSE;
            CloseHandle(token);
        }
        RevertToSelf();
    });
    if (!server.Created()) return false;
    const BOOL ok = call();
    server.Finish();
    return ok && impersonated;
}

// Records the flags of every CreateFileA call Brindle.dll makes, by
// replacing the function's entry in the DLL's import table for its lifetime.
class CreateFileRecorder {
public:
    CreateFileRecorder() {
        auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA("Brindle.dll"));
        if (!base) return;
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
            base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const auto& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
             imports.VirtualAddress && module->Name && !m_slot; ++module) {
            auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
            for (; module->OriginalFirstThunk && names->u1.AddressOfData; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
                const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                if (std::strcmp(reinterpret_cast<const char*>(byName->Name), "CreateFileA") == 0) {
                    m_slot = &slots->u1.Function;
                    break;
                }
            }
        }
        if (!m_slot) return;
        s_original = reinterpret_cast<CreateFileAFn>(*m_slot);
        Swap(reinterpret_cast<decltype(m_original)>(&Recording));
    }
    ~CreateFileRecorder() {
        if (m_slot) Swap(m_original);
    }
    bool Installed() const { return m_slot != nullptr; }
    static std::vector<std::pair<std::string, DWORD>> calls;  // (name, flags and attributes)

private:
    using CreateFileAFn = HANDLE(WINAPI*)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    static HANDLE WINAPI Recording(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                   DWORD disposition, DWORD flags, HANDLE templateFile) {
        calls.emplace_back(name ? name : "", flags);
        return s_original(name, access, share, security, disposition, flags, templateFile);
    }
    void Swap(decltype(IMAGE_THUNK_DATA::u1.Function) entry) {
        DWORD protection = 0;
        VirtualProtect(m_slot, sizeof *m_slot, PAGE_READWRITE, &protection);
        if (m_original == 0) m_original = *m_slot;
        *m_slot = entry;
        VirtualProtect(m_slot, sizeof *m_slot, protection, &protection);
    }
    static inline CreateFileAFn s_original = nullptr;
    decltype(IMAGE_THUNK_DATA::u1.Function)* m_slot = nullptr;
    decltype(IMAGE_THUNK_DATA::u1.Function) m_original = 0;
};
std::vector<std::pair<std::string, DWORD>> CreateFileRecorder::calls;

TEST(PipeClient, OpensThePipeForIdentificationOnly) {
    // Wine hands the server an impersonation token whatever the client asks
    // for, so what the client asks for is checked where it leaves the bridge.
    CreateFileRecorder recorder;
    ASSERT_TRUE(recorder.Installed()) << "Brindle.dll imports no CreateFileA";
    CreateFileRecorder::calls.clear();
    SECURITY_IMPERSONATION_LEVEL level = SecurityAnonymous;
    char request[80] = R"(root\WMI:Q:ZEL_Device:Device:0)";
    char reply[800] = {};
    const bool served =
        LevelTheServerGets([&] { return ZEL_CallNamePipe(request, sizeof request, reply, sizeof reply); }, level);
    ASSERT_TRUE(served) << "another program serves " << kPipeName << " in this prefix, or the exchange failed";
    ASSERT_EQ(CreateFileRecorder::calls.size(), 1u);
    EXPECT_EQ(CreateFileRecorder::calls[0].first, kPipeName);
    const DWORD qos = CreateFileRecorder::calls[0].second & (SECURITY_SQOS_PRESENT | SECURITY_VALID_SQOS_FLAGS);
    EXPECT_EQ(qos, static_cast<DWORD>(SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION));
}

TEST(PipeClient, TheServerMayIdentifyTheCallerButNotActAsIt) {
    // Whoever owns the pipe name learns only who calls. Runs where the
    // platform honours the security quality of service a client asks for.
    SECURITY_IMPERSONATION_LEVEL probe = SecurityDelegation;
    const bool probed = LevelTheServerGets(
        [] {
            HANDLE pipe = CreateFileA(kPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
            if (pipe == INVALID_HANDLE_VALUE) return FALSE;
            char request[80] = {}, reply[180] = {};
            DWORD mode = PIPE_READMODE_MESSAGE, read = 0;
            SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
            const BOOL ok = TransactNamedPipe(pipe, request, sizeof request, reply, sizeof reply, &read, nullptr);
            CloseHandle(pipe);
            return ok;
        },
        probe);
    if (!probed) GTEST_SKIP() << "another program serves " << kPipeName << " in this prefix";
    if (probe != SecurityIdentification) GTEST_SKIP() << "this platform ignores the client's quality of service";

    SECURITY_IMPERSONATION_LEVEL level = SecurityDelegation;
    char request[80] = R"(root\WMI:Q:ZEL_Device:Device:0)";
    char reply[800] = {};
    ASSERT_TRUE(
        LevelTheServerGets([&] { return ZEL_CallNamePipe(request, sizeof request, reply, sizeof reply); }, level));
    EXPECT_EQ(level, SecurityIdentification);
}

TEST(PipeClient, ResultsAsTheOneShotCallOfThePlatform) {
    // Each situation is met by ZEL_CallNamePipe and by CallNamedPipeA with the
    // default wait; both must give the same result, error and reply.
    struct Result {
        BOOL ok;
        DWORD error;
        std::string reply;
    };
    using Caller = Result (*)();
    static char request[80] = R"(root\WMI:Q:ZEL_Device:Device:0)";
    static char reply[800];
    const Caller ours = [] {
        std::memset(reply, '#', sizeof reply);
        const BOOL ok = ZEL_CallNamePipe(request, sizeof request, reply, sizeof reply);
        return Result{ok, ok ? 0 : GetLastError(), std::string(reply, sizeof reply)};
    };
    const Caller platforms = [] {
        std::memset(reply, '#', sizeof reply);
        DWORD read = 0;
        const BOOL ok = CallNamedPipeA(kPipeName, request, sizeof request, reply, sizeof reply, &read,
                                       NMPWAIT_USE_DEFAULT_WAIT);
        return Result{ok, ok ? 0 : GetLastError(), std::string(reply, sizeof reply)};
    };
    const std::string longText(900, 'r');
    const struct {
        const char* name;
        const char* text;
        DWORD replySize;
        DWORD holdMs;        // a first client holds the only instance this long
        BOOL expectedOk;
    } cases[] = {
        {"plain exchange", kMalformed, 180, 0, TRUE},
        {"reply longer than the area", longText.c_str(), 900, 0, FALSE},
        {"busy pipe freed within the default wait", kMalformed, 180, 300, TRUE},
        {"busy pipe held beyond the default wait", kMalformed, 180, 2500, FALSE},
    };
    for (const auto& c : cases) {
        Result results[2];
        for (int i = 0; i < 2; ++i) {
            OneExchangeServer server(c.text, c.replySize);
            if (!server.Created()) GTEST_SKIP() << "another program serves " << kPipeName << " in this prefix";
            HANDLE holder = INVALID_HANDLE_VALUE;
            std::thread release;
            if (c.holdMs) {
                holder = CreateFileA(kPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
                ASSERT_NE(holder, INVALID_HANDLE_VALUE) << c.name;
                // Leaving without a request: the server's read fails and it disconnects.
                release = std::thread([holder, &c] {
                    Sleep(c.holdMs);
                    CloseHandle(holder);
                });
            }
            // The held cases never reach the scripted exchange; the server
            // goes back to waiting and is released by Finish.
            results[i] = (i == 0 ? ours : platforms)();
            if (release.joinable()) release.join();
            server.Finish();
        }
        EXPECT_EQ(results[0].ok, c.expectedOk) << c.name;
        EXPECT_EQ(results[0].ok, results[1].ok) << c.name;
        EXPECT_EQ(results[0].error, results[1].error) << c.name;
        EXPECT_EQ(results[0].reply, results[1].reply) << c.name;
    }
    // No server at all.
    const Result none[2] = {ours(), platforms()};
    EXPECT_FALSE(none[0].ok);
    EXPECT_EQ(none[0].error, none[1].error);
}

// The command pipe held by a thread of the test that reads the request and then
// either leaves at once (closes its end: a vanished server) or keeps the
// connection without ever answering until Release.
class UnansweringServer {
public:
    explicit UnansweringServer(bool vanish)
        : m_pipe(CreateNamedPipeA(kPipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                  1, 1024, 1024, 1000, nullptr)),
          m_release(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
        if (!Created()) return;
        m_thread = std::thread([this, vanish] {
            char request[200];
            DWORD read = 0;
            if (ConnectNamedPipe(m_pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED)
                ReadFile(m_pipe, request, sizeof request, &read, nullptr);
            if (vanish) CloseEnd();
            WaitForSingleObject(m_release, INFINITE);
        });
    }
    ~UnansweringServer() { Release(); }
    bool Created() const { return m_pipe != INVALID_HANDLE_VALUE; }
    // True while the client's end of the connection is still open.
    bool ClientConnected() const {
        DWORD available = 0;
        return m_pipe != INVALID_HANDLE_VALUE && PeekNamedPipe(m_pipe, nullptr, 0, nullptr, &available, nullptr);
    }
    // Closes the server's end (freeing a client that still waits) and ends the thread.
    void Release() {
        if (m_thread.joinable()) {
            SetEvent(m_release);
            m_thread.join();
        }
        CloseEnd();
        CloseHandle(m_release);
        m_release = nullptr;
    }

private:
    void CloseEnd() {
        if (Created()) CloseHandle(m_pipe);
        m_pipe = INVALID_HANDLE_VALUE;
    }
    HANDLE m_pipe;
    HANDLE m_release;
    std::thread m_thread;
};

TEST(PipeClient, AServerThatNeverAnswersFailsTheCallAsAVanishedOneDoes) {
    struct Outcome {
        BOOL ok = TRUE;
        DWORD error = 0;
    };
    // Runs the call on a thread of its own; a call still waiting at the
    // guard's end counts as hung (the guard only keeps a broken client from
    // hanging the test run; the client's own bound is far shorter).
    constexpr DWORD kHangGuardMs = 30000;
    const auto callAgainst = [&](UnansweringServer& server, Outcome& outcome) {
        HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        std::thread client([&outcome, done] {
            char request[80] = R"(root\WMI:Q:ZEL_Device:Device:0)";
            char reply[800] = {};
            outcome.ok = ZEL_CallNamePipe(request, sizeof request, reply, sizeof reply);
            outcome.error = GetLastError();
            SetEvent(done);
        });
        const bool returned = WaitForSingleObject(done, kHangGuardMs) == WAIT_OBJECT_0;
        const bool connectionLeftOpen = returned && server.ClientConnected();
        server.Release();  // frees a hung client
        client.join();
        CloseHandle(done);
        EXPECT_FALSE(connectionLeftOpen) << "the call returned but kept the connection";
        return returned;
    };

    Outcome vanished, silent;
    {
        UnansweringServer server(true);
        if (!server.Created()) GTEST_SKIP() << "another program serves " << kPipeName << " in this prefix";
        ASSERT_TRUE(callAgainst(server, vanished)) << "no return from a vanished server";
    }
    EXPECT_FALSE(vanished.ok);
    EXPECT_EQ(vanished.error, static_cast<DWORD>(ERROR_BROKEN_PIPE));
    {
        UnansweringServer server(false);
        ASSERT_TRUE(server.Created());
        ASSERT_TRUE(callAgainst(server, silent)) << "the call still waited for the reply after "
                                                 << kHangGuardMs << " ms";
    }
    EXPECT_FALSE(silent.ok);
    EXPECT_EQ(silent.error, vanished.error);
}

// The command pipe as the service makes it, one instance with a default wait
// of one second, served by a thread of the test: every client gets one
// 180-byte reply to its request, one client after another, until Stop.
class OneInstanceServer {
public:
    OneInstanceServer()
        : m_pipe(CreateNamedPipeA(kPipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                  1, 1024, 1024, 1000, nullptr)) {
        if (!Created()) return;
        m_thread = std::thread([this] {
            while (!m_stopping) {
                if (ConnectNamedPipe(m_pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) {
                    char request[200];
                    DWORD read = 0;
                    if (ReadFile(m_pipe, request, sizeof request, &read, nullptr) && !m_stopping) {
                        char answer[180] = {};
                        std::strcpy(answer, kMalformed);
                        DWORD written = 0;
                        WriteFile(m_pipe, answer, sizeof answer, &written, nullptr);
                        FlushFileBuffers(m_pipe);
                    }
                }
                DisconnectNamedPipe(m_pipe);
            }
        });
    }
    ~OneInstanceServer() { Stop(); }
    bool Created() const { return m_pipe != INVALID_HANDLE_VALUE; }
    // Ends the serving thread (a client that connects and leaves wakes it) and closes the pipe.
    void Stop() {
        if (m_thread.joinable()) {
            m_stopping = true;
            for (;;) {
                HANDLE client = CreateFileA(kPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
                if (client != INVALID_HANDLE_VALUE) {
                    CloseHandle(client);
                    break;
                }
                if (GetLastError() != ERROR_PIPE_BUSY || !WaitNamedPipeA(kPipeName, 5000)) break;
            }
            m_thread.join();
        }
        if (Created()) CloseHandle(m_pipe);
        m_pipe = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_pipe;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

TEST(PipeClient, ClientsCallingAtOnceAreAllServedByOneInstance) {
    // Eight clients call at once, again and again, as the tray program, the
    // tool and the viewer may; the one instance serves one at a time. A
    // client that loses the instance to another keeps trying while its wait
    // lasts, and every exchange takes far less than that wait.
    OneInstanceServer server;
    if (!server.Created()) GTEST_SKIP() << "another program serves " << kPipeName << " in this prefix";
    constexpr int kClients = 8;
    constexpr int kCallsEach = 60;
    std::atomic<int> served{0}, busy{0}, other{0};
    std::atomic<DWORD> firstOther{0};
    std::vector<std::thread> clients;
    const ULONGLONG start = GetTickCount64();
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&] {
            for (int i = 0; i < kCallsEach; ++i) {
                char request[80] = R"(root\WMI:Q:ZEL_Device:Device:0)";
                char reply[800] = {};
                if (ZEL_CallNamePipe(request, sizeof request, reply, sizeof reply) && std::strcmp(reply, kMalformed) == 0) {
                    ++served;
                    continue;
                }
                const DWORD error = GetLastError();
                if (error == ERROR_PIPE_BUSY || error == ERROR_SEM_TIMEOUT) {
                    ++busy;
                } else {
                    DWORD none = 0;
                    firstOther.compare_exchange_strong(none, error ? error : ~0u);
                    ++other;
                }
            }
        });
    }
    for (auto& t : clients) t.join();
    std::printf("%d calls from %d clients in %llu ms: %d served, %d busy, %d other failures\n",
                kClients * kCallsEach, kClients, GetTickCount64() - start, served.load(), busy.load(), other.load());
    server.Stop();
    EXPECT_EQ(busy.load(), 0);
    EXPECT_EQ(other.load(), 0) << "first error " << firstOther.load();
    EXPECT_EQ(served.load(), kClients * kCallsEach);

    // The server gone, a call fails at once with the absent pipe's error.
    char request[80] = R"(root\WMI:Q:ZEL_Device:Device:0)";
    char reply[800] = {};
    const ULONGLONG before = GetTickCount64();
    EXPECT_FALSE(ZEL_CallNamePipe(request, sizeof request, reply, sizeof reply));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    std::printf("absent server: failed after %llu ms\n", GetTickCount64() - before);
}

// --- a scripted WMI stand-in ------------------------------------------------------------

class ScriptedWmi : public testing::Test {
protected:
    CBrindle bridge;  // COM for the stand-in's registration
    FakeWmi wmi;
    Wide ns{L"root\\fake"};
    Wide wql{L"WQL"};
    Wide query{L"Select * from Fake"};
    Wide property{L"Value"};
    char errorText[260] = {};

    void SetUp() override { ASSERT_TRUE(wmi.Registered()); }
    std::string ErrorText() const { return errorText; }
};

TEST_F(ScriptedWmi, ValuesWithoutTextFormAreClearReplies) {
    struct Case { VARIANT value; std::string reply; };
    Case cases[] = {
        {NullValue(), ""},
        {EmptyValue(), ""},
        {IntValue(-5), "-5"},
        {TextValue(L"abc"), "abc"},
        {IntArrayValue(), "WBEM_E_TYPE_MISMATCH"},
        {ObjectValue(), "WBEM_E_TYPE_MISMATCH"},
        {TextValue(std::wstring(300, L'v')), std::string(259, 'v')},
    };
    for (Case& c : cases) wmi.AddObject(c.value);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(Reply(R"(root\fake:Q:Fake:Value:)" + std::to_string(i)), cases[i].reply) << "object " << i;
    }
}

TEST_F(ScriptedWmi, LongValueIsCutAtACharacterOfTheCodePage) {
    // Korean syllables take two bytes in a double-byte code page; after two
    // ASCII letters a cut at byte 259 would fall inside the 129th syllable.
    if (const char* expected = std::getenv("BRIDGE_EXPECT_ACP")) {
        ASSERT_EQ(std::to_string(GetACP()), expected) << "the run was meant for another ANSI code page";
    }
    const std::wstring value = L"ab" + std::wstring(200, L'\uAC00');
    BOOL unmappable = FALSE;
    WideCharToMultiByte(CP_ACP, 0, value.data(), 3, nullptr, 0, nullptr, &unmappable);
    if (unmappable) GTEST_SKIP() << "code page " << GetACP() << " has no Korean; bridge_test_double_byte runs this";
    wmi.AddObject(TextValue(value));
    const std::string reply = Reply(R"(root\fake:Q:Fake:Value:0)");

    ASSERT_LE(reply.size(), 259u);
    // The reply is whole characters: it converts back without error to the
    // start of the value ...
    std::wstring back(reply.size(), L'\0');
    int units = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, reply.data(), static_cast<int>(reply.size()),
                                    back.data(), static_cast<int>(back.size()));
    ASSERT_GT(units, 0) << "code page " << GetACP();
    back.resize(units);
    EXPECT_EQ(back, value.substr(0, back.size()));
    // ... and as long as the area allows: one more character would not fit.
    int withNext = WideCharToMultiByte(CP_ACP, 0, value.data(), units + 1, nullptr, 0, nullptr, nullptr);
    EXPECT_GT(withNext, 259) << "code page " << GetACP();
}

TEST_F(ScriptedWmi, RowsThatVanishAfterTheCountAreReported) {
    wmi.AddObject(TextValue(L"A"));
    wmi.AddObject(TextValue(L"B"));
    wmi.AddObject(TextValue(L"C"));
    wmi.State().visible = {3, 1};  // counted three, then only one is left

    char areas[3][260];
    std::memset(areas, 'x', sizeof areas);
    CValueArray values;
    for (auto& area : areas) values.Add(area);
    EXPECT_FALSE(bridge.QueryWMIProperty(query, property.Address(), values, errorText, ns, wql));
    EXPECT_EQ(ErrorText(), kTooFew);
    EXPECT_STREQ(areas[0], "A");
    EXPECT_EQ(areas[1][0], '\0');
    EXPECT_EQ(areas[2][0], '\0');

    wmi.State().queries = 0;
    EXPECT_EQ(Reply(R"(root\fake:Q:Fake:Value:2)"), kTooFew);
    wmi.State().queries = 0;
    EXPECT_EQ(Reply(R"(root\fake:S:Fake:Value:2:9)"), kTooFew);
    EXPECT_TRUE(wmi.State().stored.empty());
}

TEST_F(ScriptedWmi, WritesOnlyNonEmptyPositions) {
    for (int i = 0; i < 3; ++i) wmi.AddObject(IntValue(i));
    Wide empty{L""}, eight{L"8"};
    CValueArray values;
    values.Add(static_cast<BSTR>(empty));
    values.Add(static_cast<BSTR>(eight));
    values.Add(static_cast<BSTR>(empty));
    EXPECT_TRUE(bridge.SetWMIProperty(query, property.Address(), values, errorText, ns, wql));
    EXPECT_EQ(wmi.State().stored, (std::map<std::size_t, std::wstring>{{1, L"8"}}));

    wmi.State().stored.clear();
    EXPECT_EQ(Reply(R"(root\fake:S:Fake:Value:2:007)"), "7");
    EXPECT_EQ(wmi.State().stored, (std::map<std::size_t, std::wstring>{{2, L"7"}}));
}

TEST_F(ScriptedWmi, FailureInTheMiddleOfAWriteKeepsEarlierWrites) {
    for (int i = 0; i < 3; ++i) wmi.AddObject(IntValue(i));
    wmi.State().failPosition = 1;
    wmi.State().failCode = WBEM_E_TRANSPORT_FAILURE;
    Wide seven{L"7"};
    CValueArray values;
    for (int i = 0; i < 3; ++i) values.Add(static_cast<BSTR>(seven));
    EXPECT_FALSE(bridge.SetWMIProperty(query, property.Address(), values, errorText, ns, wql));
    EXPECT_EQ(ErrorText(), "WBEM_E_TRANSPORT_FAILURE");
    EXPECT_EQ(wmi.State().stored, (std::map<std::size_t, std::wstring>{{0, L"7"}}));
}

// Both passes of a command run on one connection, which ends with the call;
// the provider still sees two queries, the second carrying a context only for
// a write, and the same replies as ever.
TEST_F(ScriptedWmi, OneConnectionPerCommandHeldNoLongerThanTheCall) {
    wmi.AddObject(IntValue(4));
    wmi.AddObject(IntValue(5));
    struct Case { const char* command; std::string reply; std::vector<bool> contexts; };
    const Case cases[] = {
        {R"(root\fake:Q:Fake:Value:1)", "5", {false, false}},
        {R"(root\fake:S:Fake:Value:1:9)", "9", {false, true}},
        {R"(root\fake:Q:Fake:Value:2)", kTooFew, {false}},
    };
    for (const Case& c : cases) {
        FakeWmiState& state = wmi.State();
        state.queries = state.connections = 0;
        state.queryContexts.clear();
        EXPECT_EQ(Reply(c.command), c.reply) << c.command;
        EXPECT_EQ(state.connections, 1) << c.command;
        EXPECT_EQ(state.queryContexts, c.contexts) << c.command;
        EXPECT_EQ(state.openConnections, 0) << c.command;
    }
}

// A provider may report success and return no enumerator: in the service
// that would crash the LocalSystem process. Either pass (the count, then the
// read or write) answers as a failed query instead.
TEST_F(ScriptedWmi, QueryWithoutAnEnumeratorFailsClearly) {
    wmi.AddObject(IntValue(4));
    for (int missing : {0, 1}) {
        for (const char* command : {R"(root\fake:Q:Fake:Value:0)", R"(root\fake:S:Fake:Value:0:9)"}) {
            wmi.State().queries = 0;
            wmi.State().noEnumeratorQuery = missing;
            EXPECT_EQ(Reply(command), "WBEM_E_FAILED") << command << " without an enumerator in query " << missing;
        }
    }
    wmi.State().queries = 0;
    wmi.State().noEnumeratorQuery = 0;
    EXPECT_EQ(bridge.GetPropertyInstanceNumber(query, errorText, ns, wql), -1);
    EXPECT_EQ(ErrorText(), "WBEM_E_FAILED");
    EXPECT_TRUE(wmi.State().stored.empty());
}

// --- firmware event subscriptions through the stand-in --------------------------------

// A window of its own for each subscription. Windows are never destroyed
// here, so no later window takes over a handle an old subscription names.
HWND NewEventWindow() {
    return CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleA(nullptr), nullptr);
}

struct Posted {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Posted&) const = default;
};

// The bridge's messages already queued for the window, taken off the queue.
std::vector<Posted> TakePosted(HWND window) {
    std::vector<Posted> got;
    MSG msg;
    while (PeekMessageA(&msg, window, WM_FIRMWARE_EVENT, WM_FIRMWARE_EVENTS_ENDED, PM_REMOVE))
        got.push_back({msg.message, msg.wParam, msg.lParam});
    return got;
}

// A completion with a failure is the end of the subscription under the
// window: it is told once, and the sink posts no event after it. A normal
// completion ends it without a message; a progress report ends nothing.
TEST_F(ScriptedWmi, ASubscriptionThatEndsWithAFailureTellsItsWindow) {
    struct Case {
        LONG flags;
        HRESULT result;
        bool ends;
        bool told;
    };
    const Case cases[] = {
        {WBEM_STATUS_COMPLETE, static_cast<HRESULT>(WBEM_E_SHUTTING_DOWN), true, true},
        {WBEM_STATUS_COMPLETE, static_cast<HRESULT>(0x800706BA), true, true},
        {WBEM_STATUS_COMPLETE, S_OK, true, false},
        {WBEM_STATUS_PROGRESS, 50, false, false},
    };
    wmi.AddObject(IntValue(0x035F));
    const Posted event{WM_FIRMWARE_EVENT, 0x5F, 0x03};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags " << c.flags << " result 0x" << std::hex << c.result);
        HWND window = NewEventWindow();
        ASSERT_NE(window, nullptr);
        bridge.AddHWND(window);
        ASSERT_TRUE(bridge.ZELWMIEvent(query, errorText, ns, wql)) << ErrorText();
        IWbemObjectSink* sink = wmi.State().sinks.back();
        IWbemClassObject* object = wmi.NewObject(0);
        sink->Indicate(1, &object);
        sink->SetStatus(c.flags, c.result, nullptr, nullptr);
        sink->Indicate(1, &object);
        object->Release();

        std::vector<Posted> expected{event};
        if (c.told) expected.push_back({WM_FIRMWARE_EVENTS_ENDED, 0, static_cast<LPARAM>(c.result)});
        if (!c.ends) expected.push_back(event);
        EXPECT_EQ(TakePosted(window), expected);
        EXPECT_EQ(bridge.WMIEventsAlive() != FALSE, !c.ends);
    }
}

// The periodic check asks the connection behind the subscription; a renewal
// ends the old subscription (cancelled when its connection still answers)
// before it subscribes again, so no event is posted twice.
TEST_F(ScriptedWmi, ALostConnectionIsNoticedAndARenewalReplacesTheSubscription) {
    wmi.AddObject(IntValue(0x0160));
    HWND window = NewEventWindow();
    ASSERT_NE(window, nullptr);
    bridge.AddHWND(window);
    EXPECT_FALSE(bridge.WMIEventsAlive());  // nothing subscribed yet
    ASSERT_TRUE(bridge.ZELWMIEvent(query, errorText, ns, wql)) << ErrorText();
    IWbemObjectSink* first = wmi.State().sinks.back();
    first->AddRef();
    EXPECT_TRUE(bridge.WMIEventsAlive());

    wmi.State().lostWith = RPC_E_DISCONNECTED;
    EXPECT_FALSE(bridge.WMIEventsAlive());
    EXPECT_FALSE(bridge.RenewWMIEvent(query, errorText, ns, wql));  // still gone: the caller tries later
    wmi.State().lostWith = S_OK;
    ASSERT_TRUE(bridge.RenewWMIEvent(query, errorText, ns, wql)) << ErrorText();
    EXPECT_TRUE(bridge.WMIEventsAlive());
    EXPECT_EQ(wmi.State().cancels, 0);  // the lost connection could not cancel
    IWbemObjectSink* second = wmi.State().sinks.back();
    ASSERT_NE(second, first);

    IWbemClassObject* object = wmi.NewObject(0);
    first->Indicate(1, &object);
    second->Indicate(1, &object);
    EXPECT_EQ(TakePosted(window), (std::vector<Posted>{{WM_FIRMWARE_EVENT, 0x60, 0x01}}));

    // With the connection answering, the old subscription is cancelled, and
    // its cancellation is no news for the window.
    second->AddRef();
    ASSERT_TRUE(bridge.RenewWMIEvent(query, errorText, ns, wql)) << ErrorText();
    EXPECT_EQ(wmi.State().cancels, 1);
    second->Indicate(1, &object);
    EXPECT_TRUE(TakePosted(window).empty());
    wmi.State().sinks.back()->Indicate(1, &object);
    EXPECT_EQ(TakePosted(window).size(), 1u);
    object->Release();
    first->Release();
    second->Release();
}

}  // namespace
