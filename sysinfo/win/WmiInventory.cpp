#include "WmiInventory.h"

#include "text_convert.h"

using namespace quillon;

CWmiInventory::CWmiInventory() {
    VariantInit(&m_value);
    if (!Connect()) return;  // every text stays empty, the names too
    for (const InventoryClass& cls : InventoryClasses()) {
        if (cls.unknownDefault)
            for (const InventoryProperty& p : cls.properties) m_texts[static_cast<int>(p.text)] = kUnknown;
        const bool board = cls.keep == Keep::BaseBoard;
        ComPtr<IEnumWbemClassObject>& enumerator = board ? m_boardEnumerator : m_enumerator;
        ComPtr<IWbemClassObject>& object = board ? m_boardObject : m_object;
        if (ReadOne(cls.name, enumerator, object))
            for (const InventoryProperty& p : cls.properties) GetProperty(object.Get(), p);
        if (cls.keep == Keep::Release) {
            m_object.Release();
            m_enumerator.Release();
        }
    }
}

CWmiInventory::~CWmiInventory() {
    m_object.Release();
    m_enumerator.Release();
    m_boardObject.Release();
    m_boardEnumerator.Release();
    m_services.Release();
    VariantClear(&m_value);
}

// No proxy blanket: the connection runs under the process-wide security.
bool CWmiInventory::Connect() {
    const std::wstring path = WideFromAnsi("\\\\.\\root\\cimv2");
    ComPtr<IWbemLocator> locator;
    if (CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, locator.PutVoid()) !=
        S_OK)
        return false;
    BStr resource(path.c_str());
    // The status is not looked at: a services reference is the connection.
    locator->ConnectServer(resource, nullptr, nullptr, nullptr, 0, nullptr, nullptr, m_services.Put());
    return static_cast<bool>(m_services);
}

bool CWmiInventory::ReadOne(const char* className, ComPtr<IEnumWbemClassObject>& enumerator,
                            ComPtr<IWbemClassObject>& object) {
    if (!m_services) return false;
    BStr name(WideFromAnsi(className).c_str());
    if (FAILED(m_services->CreateInstanceEnum(name, 0, nullptr, enumerator.Put()))) return false;
    ULONG returned = 0;
    HRESULT hr = enumerator->Next(2000, 1, object.Put(), &returned);
    return !FAILED(hr) && returned == 1;
}

void CWmiInventory::GetProperty(IWbemClassObject* object, const InventoryProperty& property) {
    VariantClear(&m_value);
    if (FAILED(object->Get(WideFromAnsi(property.name).c_str(), 0, &m_value, nullptr, nullptr))) return;
    // A null (or any value that is not text) gives an empty text.
    std::string text;
    if (V_VT(&m_value) == VT_BSTR)
        text = AnsiFromWide(V_BSTR(&m_value), static_cast<int>(SysStringLen(V_BSTR(&m_value))));
    m_texts[static_cast<int>(property.text)] = TrimSpaces(std::move(text), TrimFor(property.text));
}

namespace {

ShownInventory ReadShown() {
    const CWmiInventory inventory;
    return {inventory.ProcessorName(), inventory.VideoControllerName(), inventory.SMBIOSBIOSVersion()};
}

}  // namespace

InventoryRead::InventoryRead()
    : m_texts(std::make_shared<ShownInventory>()), m_worker([texts = m_texts] { *texts = ReadShown(); }) {}

ShownInventory InventoryRead::Result() {
    if (!m_worker.Started()) return ReadShown();
    m_worker.WaitSinceStart(INFINITE);
    return *m_texts;
}
