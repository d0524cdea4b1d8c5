// emuaudio.dll: the device enumerator registered in the prefix in place of
// Wine's (whose endpoint volume is a stub). Endpoints, volume and mute come
// from the shared audio state (win/audio_store.h); every change, made by any
// process, reaches the volume callbacks and notification clients of every
// process through the event queue, on one delivery thread per process.
#include <windows.h>
#include <initguid.h>
#include <mmdeviceapi.h>
#include <endpointvolume.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "class_factory.h"

#include "audio_store.h"
#include "event_bus.h"
#include "wide.h"

namespace emu {
namespace {

std::atomic<long> g_objects{0};
constexpr DWORD kPollMs = 1000;
const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);

// Interlocked reference count for an object of one interface.
template <class I>
class Unknown : public I {
 public:
  Unknown() { ++g_objects; }
  virtual ~Unknown() { --g_objects; }
  Unknown(const Unknown&) = delete;
  Unknown& operator=(const Unknown&) = delete;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == __uuidof(I)) {
      *ppv = static_cast<I*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }

 private:
  LONG refs_ = 1;
};

// Who is told of changes in this process: volume callbacks per device and
// notification clients, each holding one reference, and the delivery thread.
class Listeners {
 public:
  void addCallback(std::uint32_t device, IAudioEndpointVolumeCallback* cb) {
    std::lock_guard<std::recursive_mutex> g(lock_);
    start();
    cb->AddRef();
    callbacks_.push_back({device, cb});
  }
  // As on Windows, returns only once no call of the callback is running
  // (and none starts later): a callback that waits for the unregistering
  // thread deadlocks both. Only the delivery thread itself does not wait
  // (a callback running there is its caller).
  bool removeCallback(IAudioEndpointVolumeCallback* cb) {
    IAudioEndpointVolumeCallback* found = nullptr;
    {
      std::unique_lock<std::recursive_mutex> g(lock_);
      for (auto it = callbacks_.begin(); it != callbacks_.end(); ++it)
        if (it->second == cb) {
          found = it->second;
          callbacks_.erase(it);
          break;
        }
      if (GetCurrentThreadId() != threadId_) finished_.wait(g, [&] { return running_ != cb; });
    }
    if (found) found->Release();
    return found != nullptr;
  }
  void addClient(IMMNotificationClient* c) {
    std::lock_guard<std::recursive_mutex> g(lock_);
    start();
    c->AddRef();
    clients_.push_back(c);
  }
  bool removeClient(IMMNotificationClient* c) {
    IMMNotificationClient* found = nullptr;
    {
      std::lock_guard<std::recursive_mutex> g(lock_);
      for (auto it = clients_.begin(); it != clients_.end(); ++it)
        if (*it == c) {
          found = *it;
          clients_.erase(it);
          break;
        }
    }
    if (found) found->Release();
    return found != nullptr;
  }

 private:
  void start() {
    if (thread_) return;
    bus_ = std::make_unique<EventBus>();
    listener_ = std::make_unique<BusListener>(*bus_);
    if (!bus_->ok() || !listener_->ok()) return;
    // The thread runs for the rest of the process and keeps the module loaded.
    ++g_objects;
    thread_ = CreateThread(nullptr, 0, &Listeners::threadMain, this, 0, &threadId_);
  }
  // Marks the callback as running when it is still registered.
  bool beginCall(IAudioEndpointVolumeCallback* cb) {
    std::lock_guard<std::recursive_mutex> g(lock_);
    for (auto& entry : callbacks_)
      if (entry.second == cb) {
        running_ = cb;
        return true;
      }
    return false;
  }
  void endCall() {
    {
      std::lock_guard<std::recursive_mutex> g(lock_);
      running_ = nullptr;
    }
    finished_.notify_all();
  }
  static DWORD WINAPI threadMain(void* self) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    auto* l = static_cast<Listeners*>(self);
    for (;;) {
      WaitForSingleObject(l->listener_->wakeEvent(), kPollMs);
      for (const auto& batch : l->listener_->take()) l->deliver(batch);
    }
  }
  void deliver(const EventBatch& b) {
    if (b.eventClass == kAudioVolumeClass && b.values.size() == 3) {
      AUDIO_VOLUME_NOTIFICATION_DATA data{};
      data.bMuted = b.values[2] != 0;
      data.fMasterVolume = volumeFromBits(b.values[1]);
      data.nChannels = 1;
      data.afChannelVolumes[0] = data.fMasterVolume;
      // Called outside the lock, each on a reference of its own and only
      // while still registered; an unregistration meanwhile waits for the
      // call to return.
      std::vector<IAudioEndpointVolumeCallback*> targets;
      {
        std::lock_guard<std::recursive_mutex> g(lock_);
        for (auto& [device, cb] : callbacks_)
          if (device == b.values[0]) targets.push_back((cb->AddRef(), cb));
      }
      for (auto* cb : targets) {
        if (beginCall(cb)) {
          cb->OnNotify(&data);
          endCall();
        }
        cb->Release();
      }
    } else if (b.eventClass == kAudioDeviceClass && b.values.size() == 4) {
      AudioState s;
      if (!loadAudio(s)) return;
      const std::uint32_t device = b.values[1];
      const std::wstring id = device == kNoDevice ? std::wstring() : toWide(audioDeviceId(s, device));
      const wchar_t* idText = device == kNoDevice ? nullptr : id.c_str();
      std::vector<IMMNotificationClient*> targets;
      {
        std::lock_guard<std::recursive_mutex> g(lock_);
        for (auto* c : clients_) targets.push_back((c->AddRef(), c));
      }
      for (IMMNotificationClient* c : targets) {
        switch (static_cast<DeviceChange>(b.values[0])) {
          case DeviceChange::Added: c->OnDeviceAdded(idText); break;
          case DeviceChange::Removed: c->OnDeviceRemoved(idText); break;
          case DeviceChange::DefaultChanged:
            c->OnDefaultDeviceChanged(static_cast<EDataFlow>(b.values[2]), static_cast<ERole>(b.values[3]), idText);
            break;
        }
        c->Release();
      }
    }
  }

  std::recursive_mutex lock_;
  std::vector<std::pair<std::uint32_t, IAudioEndpointVolumeCallback*>> callbacks_;
  std::vector<IMMNotificationClient*> clients_;
  IAudioEndpointVolumeCallback* running_ = nullptr;  // the volume callback being called, if any
  std::condition_variable_any finished_;             // signalled when that call returns
  std::unique_ptr<EventBus> bus_;
  std::unique_ptr<BusListener> listener_;
  HANDLE thread_ = nullptr;
  DWORD threadId_ = 0;
};

Listeners& listeners() {
  static Listeners* l = new Listeners();  // never destroyed: its thread outlives static destruction
  return *l;
}

class EndpointVolume final : public Unknown<IAudioEndpointVolume> {
 public:
  explicit EndpointVolume(std::uint32_t device) : device_(device) {}
  HRESULT STDMETHODCALLTYPE RegisterControlChangeNotify(IAudioEndpointVolumeCallback* cb) override {
    if (!cb) return E_POINTER;
    listeners().addCallback(device_, cb);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE UnregisterControlChangeNotify(IAudioEndpointVolumeCallback* cb) override {
    if (!cb) return E_POINTER;
    return listeners().removeCallback(cb) ? S_OK : kNotFound;
  }
  HRESULT STDMETHODCALLTYPE GetChannelCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetMasterVolumeLevel(float, LPCGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMasterVolumeLevelScalar(float level, LPCGUID) override {
    if (!(level >= 0.0f && level <= 1.0f)) return E_INVALIDARG;
    return changeAudio([&](AudioState& s) { return setAudioVolume(s, device_, level); }) ? S_OK : kNotFound;
  }
  HRESULT STDMETHODCALLTYPE GetMasterVolumeLevel(float*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMasterVolumeLevelScalar(float* level) override {
    if (!level) return E_POINTER;
    AudioState s;
    if (!loadAudio(s) || !audioPresent(s, device_)) return kNotFound;
    *level = s.devices[device_].volume;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetChannelVolumeLevel(UINT, float, LPCGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetChannelVolumeLevelScalar(UINT, float, LPCGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetChannelVolumeLevel(UINT, float*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetChannelVolumeLevelScalar(UINT, float*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMute(BOOL mute, LPCGUID) override {
    return changeAudio([&](AudioState& s) { return setAudioMute(s, device_, mute != FALSE); }) ? S_OK : kNotFound;
  }
  HRESULT STDMETHODCALLTYPE GetMute(BOOL* mute) override {
    if (!mute) return E_POINTER;
    AudioState s;
    if (!loadAudio(s) || !audioPresent(s, device_)) return kNotFound;
    *mute = s.devices[device_].mute != 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetVolumeStepInfo(UINT*, UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE VolumeStepUp(LPCGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE VolumeStepDown(LPCGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryHardwareSupport(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetVolumeRange(float*, float*, float*) override { return E_NOTIMPL; }

 private:
  const std::uint32_t device_;
};

class Device final : public Unknown<IMMDevice> {
 public:
  Device(std::uint32_t index, std::wstring id) : index_(index), id_(std::move(id)) {}
  HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD, PROPVARIANT*, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (iid != __uuidof(IAudioEndpointVolume)) return E_NOINTERFACE;
    AudioState s;
    if (!loadAudio(s) || !audioPresent(s, index_)) return kNotFound;
    auto* v = new (std::nothrow) EndpointVolume(index_);
    if (!v) return E_OUTOFMEMORY;
    *ppv = static_cast<IAudioEndpointVolume*>(v);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD, IPropertyStore** pp) override {
    if (pp) *pp = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override {
    if (!id) return E_POINTER;
    const std::size_t bytes = (id_.size() + 1) * sizeof(wchar_t);
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!*id) return E_OUTOFMEMORY;
    memcpy(*id, id_.c_str(), bytes);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetState(DWORD* state) override {
    if (!state) return E_POINTER;
    AudioState s;
    *state = loadAudio(s) && audioPresent(s, index_) ? DEVICE_STATE_ACTIVE : DEVICE_STATE_NOTPRESENT;
    return S_OK;
  }

 private:
  const std::uint32_t index_;
  const std::wstring id_;
};

HRESULT openDevice(const AudioState& s, std::uint32_t index, IMMDevice** pp) {
  auto* d = new (std::nothrow) Device(index, toWide(audioDeviceId(s, index)));
  if (!d) return E_OUTOFMEMORY;
  *pp = d;
  return S_OK;
}

class Enumerator final : public Unknown<IMMDeviceEnumerator> {
 public:
  HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow, DWORD, IMMDeviceCollection** pp) override {
    if (pp) *pp = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole, IMMDevice** pp) override {
    if (!pp) return E_POINTER;
    *pp = nullptr;
    if (flow != eRender && flow != eCapture) return E_INVALIDARG;
    AudioState s;
    if (!loadAudio(s)) return E_FAIL;
    const std::uint32_t index = s.defaults[flow];
    if (!audioPresent(s, index)) return kNotFound;
    return openDevice(s, index, pp);
  }
  HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR id, IMMDevice** pp) override {
    if (!pp || !id) return E_POINTER;
    *pp = nullptr;
    AudioState s;
    if (!loadAudio(s)) return E_FAIL;
    auto index = findAudioDevice(s, toUtf8(id));
    if (!index) return kNotFound;
    return openDevice(s, *index, pp);
  }
  HRESULT STDMETHODCALLTYPE RegisterEndpointNotificationCallback(IMMNotificationClient* c) override {
    if (!c) return E_POINTER;
    listeners().addClient(c);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE UnregisterEndpointNotificationCallback(IMMNotificationClient* c) override {
    if (!c) return E_POINTER;
    return listeners().removeClient(c) ? S_OK : kNotFound;
  }
};

StaticClassFactory<Enumerator> g_factory(g_objects);

}  // namespace
}  // namespace emu

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}

HRESULT WINAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (rclsid != __uuidof(MMDeviceEnumerator)) return CLASS_E_CLASSNOTAVAILABLE;
  return emu::g_factory.QueryInterface(riid, ppv);
}

HRESULT WINAPI DllCanUnloadNow() { return emu::g_objects == 0 ? S_OK : S_FALSE; }

}  // extern "C"
