// CWmiInventory: the machine's hardware identification texts from WMI
// root\cimv2, all read during construction on the calling thread.
#pragma once

#include <windows.h>
#include <wbemcli.h>

#include <memory>
#include <string>

#include "com_ptr.h"
#include "mta_worker.h"
#include "viewer_rules.h"

class CWmiInventory {
public:
    // Connects and runs every query; never fails outward: a failed step
    // leaves its texts at their defaults, no connection leaves all empty.
    CWmiInventory();
    ~CWmiInventory();
    CWmiInventory(const CWmiInventory&) = delete;
    CWmiInventory& operator=(const CWmiInventory&) = delete;

    // Texts in the ANSI code page.
    const std::string& Text(quillon::InventoryText text) const { return m_texts[static_cast<int>(text)]; }
    const std::string& BoardProduct() const { return Text(quillon::InventoryText::BoardProduct); }
    const std::string& BiosCaption() const { return Text(quillon::InventoryText::BiosCaption); }
    const std::string& BiosReleaseDate() const { return Text(quillon::InventoryText::BiosReleaseDate); }
    const std::string& BiosVersion() const { return Text(quillon::InventoryText::BiosVersion); }
    const std::string& SMBIOSBIOSVersion() const { return Text(quillon::InventoryText::SmbiosBiosVersion); }
    const std::string& Model() const { return Text(quillon::InventoryText::Model); }
    const std::string& Manufacturer() const { return Text(quillon::InventoryText::Manufacturer); }
    const std::string& ProcessorName() const { return Text(quillon::InventoryText::ProcessorName); }
    const std::string& SoundDeviceName() const { return Text(quillon::InventoryText::SoundDeviceName); }
    const std::string& VideoControllerName() const { return Text(quillon::InventoryText::VideoControllerName); }

private:
    bool Connect();
    bool ReadOne(const char* className, quillon::ComPtr<IEnumWbemClassObject>& enumerator,
                 quillon::ComPtr<IWbemClassObject>& object);
    void GetProperty(IWbemClassObject* object, const quillon::InventoryProperty& property);

    quillon::ComPtr<IWbemServices> m_services;
    quillon::ComPtr<IEnumWbemClassObject> m_enumerator;
    quillon::ComPtr<IWbemClassObject> m_object;
    quillon::ComPtr<IEnumWbemClassObject> m_boardEnumerator;
    quillon::ComPtr<IWbemClassObject> m_boardObject;
    VARIANT m_value;
    std::string m_texts[quillon::kInventoryTextCount];
};

// The inventory texts the viewer shows, read by a CWmiInventory made, used
// and destroyed on a worker thread of the multithreaded apartment that starts
// at construction, so the caller can do other work meanwhile.
struct ShownInventory {
    std::string processorName;
    std::string videoControllerName;
    std::string smbiosBiosVersion;
};
class InventoryRead {
public:
    InventoryRead();
    InventoryRead(const InventoryRead&) = delete;
    InventoryRead& operator=(const InventoryRead&) = delete;
    // Waits for the worker to end, as long as the inventory's own bounded
    // queries take; when no worker could be made, reads on this thread.
    ShownInventory Result();

private:
    std::shared_ptr<ShownInventory> m_texts;
    MtaWorker m_worker;
};
