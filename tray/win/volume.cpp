#include "volume.h"

#include "level_rules.h"
#include "vorlix_dlg.h"

#include <new>

namespace vx {

namespace {

HRESULT DefaultPlayback(IMMDeviceEnumerator* enumerator, IMMDevice** device) {
    *device = nullptr;
    return enumerator ? enumerator->GetDefaultAudioEndpoint(eRender, eMultimedia, device) : E_POINTER;
}

HRESULT ActivateVolume(IMMDevice* device, IAudioEndpointVolume** volume) {
    *volume = nullptr;
    return device->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(volume));
}

template <class T>
void ReleaseAndClear(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

}  // namespace

// ---- CAudioEndpointVolumeCallback

HRESULT CAudioEndpointVolumeCallback::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == __uuidof(IAudioEndpointVolumeCallback)) {
        *ppv = static_cast<IAudioEndpointVolumeCallback*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CAudioEndpointVolumeCallback::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }

ULONG CAudioEndpointVolumeCallback::Release() {
    LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
}

HRESULT CAudioEndpointVolumeCallback::OnNotify(PAUDIO_VOLUME_NOTIFICATION_DATA data) {
    if (!data) return S_OK;
    // Posted, never sent: the main thread may at this moment be unregistering
    // this callback, which waits for the call to return. The message carries
    // the level, so nothing is read later from the audio side.
    PostMessageA(m_target, WM_VOLUME_NOTIFY, data->bMuted ? 1 : 0, VolumeLevel(data->fMasterVolume));
    return S_OK;
}

// ---- CMMNotificationClient

CMMNotificationClient::CMMNotificationClient(CVXVolume* owner) : m_owner(owner) {
    InitializeCriticalSection(&m_ownerLock);
}

CMMNotificationClient::~CMMNotificationClient() {
    ReleaseAndClear(m_enumerator);
    DeleteCriticalSection(&m_ownerLock);
}

HRESULT CMMNotificationClient::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == __uuidof(IMMNotificationClient)) {
        *ppv = static_cast<IMMNotificationClient*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CMMNotificationClient::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }

ULONG CMMNotificationClient::Release() {
    LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
}

void CMMNotificationClient::Detach() {
    EnterCriticalSection(&m_ownerLock);
    m_owner = nullptr;
    LeaveCriticalSection(&m_ownerLock);
}

HRESULT CMMNotificationClient::OnDeviceRemoved(LPCWSTR) {
    EnterCriticalSection(&m_ownerLock);
    if (m_owner) m_owner->SetDevice(nullptr);
    LeaveCriticalSection(&m_ownerLock);
    return S_OK;
}

HRESULT CMMNotificationClient::BindNamed(LPCWSTR id) {
    HRESULT init = CoInitialize(nullptr);
    EnterCriticalSection(&m_ownerLock);
    HRESULT hr = S_OK;
    if (!m_enumerator)
        hr = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_INPROC_SERVER, __uuidof(IMMDeviceEnumerator),
                              reinterpret_cast<void**>(&m_enumerator));
    IMMDevice* device = nullptr;
    if (SUCCEEDED(hr)) hr = id ? m_enumerator->GetDevice(id, &device) : E_POINTER;
    if (m_owner) m_owner->SetDevice(SUCCEEDED(hr) ? device : nullptr);
    LeaveCriticalSection(&m_ownerLock);
    if (device) device->Release();
    if (SUCCEEDED(init)) CoUninitialize();
    return hr;
}

// ---- CVXVolume

CVXVolume::CVXVolume(HWND target, volatile LONG* lastVolume) : m_lastVolume(lastVolume) {
    InitializeCriticalSection(&m_lock);
    m_callback = new (std::nothrow) CAudioEndpointVolumeCallback(this, target);
    m_comJoined = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    if (!m_callback ||
        FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                reinterpret_cast<void**>(&m_enumerator)))) {
        m_enumerator = nullptr;
        return;  // no Core Audio: nothing is ever reported
    }
    EnterCriticalSection(&m_lock);
    if (SUCCEEDED(DefaultPlayback(m_enumerator, &m_device))) RegisterLocked();
    LeaveCriticalSection(&m_lock);
    m_client = new (std::nothrow) CMMNotificationClient(this);
    if (m_client && FAILED(m_enumerator->RegisterEndpointNotificationCallback(m_client))) ReleaseAndClear(m_client);
}

CVXVolume::~CVXVolume() {
    // No notification reaches this object once the client is detached.
    if (m_client) {
        m_client->Detach();
        if (m_enumerator) m_enumerator->UnregisterEndpointNotificationCallback(m_client);
    }
    EnterCriticalSection(&m_lock);
    UnregisterLocked();
    ReleaseAndClear(m_device);
    LeaveCriticalSection(&m_lock);
    ReleaseAndClear(m_client);
    ReleaseAndClear(m_callback);
    ReleaseAndClear(m_enumerator);
    if (m_comJoined) CoUninitialize();
    DeleteCriticalSection(&m_lock);
}

void CVXVolume::RegisterLocked() {
    if (!m_device || !m_callback || FAILED(ActivateVolume(m_device, &m_boundVolume))) return;
    if (FAILED(m_boundVolume->RegisterControlChangeNotify(m_callback))) {
        ReleaseAndClear(m_boundVolume);
        return;
    }
    float scalar = -1.0f;
    if (SUCCEEDED(m_boundVolume->GetMasterVolumeLevelScalar(&scalar)) && m_lastVolume)
        InterlockedExchange(m_lastVolume, LastVolumeAfterBinding(scalar, *m_lastVolume));
}

void CVXVolume::UnregisterLocked() {
    if (!m_boundVolume) return;
    m_boundVolume->UnregisterControlChangeNotify(m_callback);
    ReleaseAndClear(m_boundVolume);
}

void CVXVolume::SetDevice(IMMDevice* device) {
    EnterCriticalSection(&m_lock);
    UnregisterLocked();
    ReleaseAndClear(m_device);
    if (device) {
        device->AddRef();
        m_device = device;
    } else {
        DefaultPlayback(m_enumerator, &m_device);
    }
    RegisterLocked();
    LeaveCriticalSection(&m_lock);
}

void CVXVolume::SetVolume(int percent) {
    IMMDevice* device = nullptr;
    IAudioEndpointVolume* volume = nullptr;
    if (SUCCEEDED(DefaultPlayback(m_enumerator, &device)) && SUCCEEDED(ActivateVolume(device, &volume)))
        volume->SetMasterVolumeLevelScalar(static_cast<float>(percent) / 100.0f, nullptr);
    ReleaseAndClear(volume);
    ReleaseAndClear(device);
}

int CVXVolume::GetVolume() {
    IMMDevice* device = nullptr;
    IAudioEndpointVolume* volume = nullptr;
    float scalar = 0.0f;
    bool read = SUCCEEDED(DefaultPlayback(m_enumerator, &device)) && SUCCEEDED(ActivateVolume(device, &volume)) &&
                SUCCEEDED(volume->GetMasterVolumeLevelScalar(&scalar));
    ReleaseAndClear(volume);
    ReleaseAndClear(device);
    if (!read) return m_lastVolume ? static_cast<int>(*m_lastVolume) : 0;
    return VolumeLevel(scalar);
}

}  // namespace vx
