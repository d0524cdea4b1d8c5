// The Core Audio volume watcher: the volume callback bound to the default
// playback endpoint, the device-notification client that moves it, and the
// read and set operations of the master volume.
#pragma once

#include <windows.h>
#include <mmdeviceapi.h>
#include <endpointvolume.h>

namespace vx {

class CVXVolume;

class CAudioEndpointVolumeCallback : public IAudioEndpointVolumeCallback {
public:
    CAudioEndpointVolumeCallback(CVXVolume* owner, HWND target) : m_owner(owner), m_target(target) {}
    CAudioEndpointVolumeCallback(const CAudioEndpointVolumeCallback&) = delete;
    CAudioEndpointVolumeCallback& operator=(const CAudioEndpointVolumeCallback&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // Posts WM_VOLUME_NOTIFY (wParam muted, lParam the rounded level) without
    // waiting for the window's thread.
    HRESULT STDMETHODCALLTYPE OnNotify(PAUDIO_VOLUME_NOTIFICATION_DATA data) override;

private:
    virtual ~CAudioEndpointVolumeCallback() = default;
    LONG m_refs = 1;
    CVXVolume* m_owner;
    const HWND m_target;  // a window handle stays harmless after the watcher is gone
};

class CMMNotificationClient : public IMMNotificationClient {
public:
    explicit CMMNotificationClient(CVXVolume* owner);
    CMMNotificationClient(const CMMNotificationClient&) = delete;
    CMMNotificationClient& operator=(const CMMNotificationClient&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR id) override { return BindNamed(id); }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR id) override;
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow, ERole, LPCWSTR id) override { return BindNamed(id); }
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override { return S_OK; }

    // The watcher is being destroyed: once this returns no call reaches it.
    void Detach();

private:
    virtual ~CMMNotificationClient();
    HRESULT BindNamed(LPCWSTR id);

    LONG m_refs = 1;
    IMMDeviceEnumerator* m_enumerator = nullptr;
    CVXVolume* m_owner;
    CRITICAL_SECTION m_ownerLock;  // held around every use of m_owner
};

class CVXVolume {
public:
    // Reports to target; start volumes of exactly 100 % and 0 % go to *lastVolume.
    CVXVolume(HWND target, volatile LONG* lastVolume);
    virtual ~CVXVolume();
    CVXVolume(const CVXVolume&) = delete;
    CVXVolume& operator=(const CVXVolume&) = delete;

    void SetVolume(int percent);
    // The default playback endpoint's volume in percent; the last known one
    // when no endpoint can be had.
    int GetVolume();
    // Binds the callback to device, or to the default playback endpoint.
    void SetDevice(IMMDevice* device);

private:
    void RegisterLocked();
    void UnregisterLocked();

    CRITICAL_SECTION m_lock;  // the bound device and its endpoint volume, shared with destruction
    IMMDevice* m_device = nullptr;
    IAudioEndpointVolume* m_boundVolume = nullptr;
    IMMDeviceEnumerator* m_enumerator = nullptr;
    CAudioEndpointVolumeCallback* m_callback;
    CMMNotificationClient* m_client = nullptr;
    volatile LONG* m_lastVolume;
    bool m_comJoined = false;
};

}  // namespace vx
