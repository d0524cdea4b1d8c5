// The fair floor for the viewer benchmark: the platform work the viewer must
// do before its dialog shows, written as plain WMI calls on the one thread,
// then a dialog of the viewer's size with an OK button that shows what was
// read. The work: COM in the multithreaded apartment with the viewer's
// process-wide security; one connection to root\cimv2 and the first object
// of every inventory class with its properties read; one connection to
// root\WMI and the firmware method GetULong of Method_ULong instance 3 with
// its "Data". Ended by the OK button.
#include <windows.h>
#include <objbase.h>
#include <wbemcli.h>

#include <string>

#include "com_ptr.h"
#include "viewer_rules.h"

namespace {

using quillon::BStr;
using quillon::ComPtr;

bool Connect(const wchar_t* nameSpace, ComPtr<IWbemServices>& services) {
    ComPtr<IWbemLocator> locator;
    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                locator.PutVoid())))
        return false;
    BStr path(nameSpace);
    return SUCCEEDED(locator->ConnectServer(path, nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.Put()));
}

// Appends "name=value" of every property read, so the dialog shows it.
void ReadInventory(std::wstring& shown) {
    ComPtr<IWbemServices> services;
    if (!Connect(L"\\\\.\\root\\cimv2", services)) return;
    for (const quillon::InventoryClass& cls : quillon::InventoryClasses()) {
        const std::string ansi = cls.name;
        BStr name(std::wstring(ansi.begin(), ansi.end()).c_str());
        ComPtr<IEnumWbemClassObject> objects;
        if (FAILED(services->CreateInstanceEnum(name, 0, nullptr, objects.Put()))) continue;
        ComPtr<IWbemClassObject> object;
        ULONG returned = 0;
        if (FAILED(objects->Next(2000, 1, object.Put(), &returned)) || returned != 1) continue;
        for (const quillon::InventoryProperty& p : cls.properties) {
            const std::string property = p.name;
            VARIANT value;
            VariantInit(&value);
            if (SUCCEEDED(object->Get(std::wstring(property.begin(), property.end()).c_str(), 0, &value, nullptr,
                                      nullptr)) &&
                V_VT(&value) == VT_BSTR)
                shown += std::wstring(property.begin(), property.end()) + L"=" + V_BSTR(&value) + L"\r\n";
            VariantClear(&value);
        }
    }
}

void ReadFirmware(std::wstring& shown) {
    ComPtr<IWbemServices> services;
    if (!Connect(L"\\\\.\\ROOT\\WMI", services)) return;
    BStr path(quillon::MethodULongPath(3).c_str());
    BStr method(L"GetULong");
    ComPtr<IWbemClassObject> out;
    if (FAILED(services->ExecMethod(path, method, 0, nullptr, nullptr, out.Put(), nullptr)) || !out) return;
    VARIANT data;
    VariantInit(&data);
    if (SUCCEEDED(out->Get(L"Data", 0, &data, nullptr, nullptr)) && (V_VT(&data) == VT_I4 || V_VT(&data) == VT_UI4))
        shown += L"Data=" + std::to_wstring(static_cast<ULONG>(V_I4(&data))) + L"\r\n";
    VariantClear(&data);
}

INT_PTR CALLBACK DialogProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetDlgItemTextW(dlg, 101, reinterpret_cast<const wchar_t*>(lParam));
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        EndDialog(dlg, IDOK);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY, RPC_C_IMP_LEVEL_IMPERSONATE,
                         nullptr, EOAC_SECURE_REFS, nullptr);
    std::wstring shown;
    ReadInventory(shown);
    ReadFirmware(shown);
    DialogBoxParamW(instance, MAKEINTRESOURCEW(100), nullptr, DialogProc, reinterpret_cast<LPARAM>(shown.c_str()));
    return 0;
}
