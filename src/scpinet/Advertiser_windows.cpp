// The service through Windows' own mDNS responder, DnsServiceRegister (Windows 10 1809 and
// later). Looked up at run time: on a system without it the panel and rz417ctl still start.
#include "scpinet/Advertiser.h"

#include <QHostInfo>

#include <windows.h>
// After windows.h, whose types it uses.
#include <windns.h>

namespace rz417::scpinet {
namespace {

constexpr DWORD kRequestPending = 9506; // DNS_REQUEST_PENDING, which not every SDK defines

std::wstring wide(const std::string &text)
{
    return QString::fromStdString(text).toStdWString();
}

struct DnsApi
{
    decltype(&DnsServiceConstructInstance) construct = nullptr;
    decltype(&DnsServiceFreeInstance) freeInstance = nullptr;
    decltype(&DnsServiceRegister) registerService = nullptr;
    decltype(&DnsServiceDeRegister) deregister = nullptr;

    bool load()
    {
        HMODULE dll = LoadLibraryW(L"dnsapi.dll");
        if (!dll)
            return false;
        construct = reinterpret_cast<decltype(construct)>(
            reinterpret_cast<void *>(GetProcAddress(dll, "DnsServiceConstructInstance")));
        freeInstance = reinterpret_cast<decltype(freeInstance)>(
            reinterpret_cast<void *>(GetProcAddress(dll, "DnsServiceFreeInstance")));
        registerService = reinterpret_cast<decltype(registerService)>(
            reinterpret_cast<void *>(GetProcAddress(dll, "DnsServiceRegister")));
        deregister = reinterpret_cast<decltype(deregister)>(
            reinterpret_cast<void *>(GetProcAddress(dll, "DnsServiceDeRegister")));
        return construct && freeInstance && registerService && deregister;
    }
};

VOID WINAPI registered(DWORD, PVOID, PDNS_SERVICE_INSTANCE instance)
{
    // The system's copy of what it registered is the caller's to free.
    static DnsApi api;
    if (instance && (api.freeInstance || api.load()))
        api.freeInstance(instance);
}

class WindowsAdvertiser : public Advertiser
{
public:
    ~WindowsAdvertiser() override
    {
        if (m_registered) {
            DNS_SERVICE_REGISTER_REQUEST request = m_request;
            request.pRegisterCompletionCallback = &registered;
            m_api.deregister(&request, nullptr);
        }
        if (m_instance)
            m_api.freeInstance(m_instance);
    }

    bool start(const QHostAddress &address, uint16_t port, std::string &why)
    {
        if (!m_api.load()) {
            why = "no mDNS responder: this Windows has no DnsServiceRegister";
            return false;
        }
        const std::wstring name = wide(serviceName() + "." + kServiceType + ".local");
        const std::wstring host = QHostInfo::localHostName().toStdWString() + L".local";
        std::vector<std::wstring> keys, values;
        for (const auto &[key, value] : serviceText()) {
            keys.push_back(wide(key));
            values.push_back(wide(value));
        }
        std::vector<PCWSTR> keyPointers, valuePointers;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            keyPointers.push_back(keys[i].c_str());
            valuePointers.push_back(values[i].c_str());
        }
        m_instance = m_api.construct(name.c_str(), host.c_str(), nullptr, nullptr, port, 0, 0,
                                     static_cast<DWORD>(keys.size()), keyPointers.data(),
                                     valuePointers.data());
        if (!m_instance) {
            why = "the mDNS service could not be made";
            return false;
        }
        m_request.Version = DNS_QUERY_REQUEST_VERSION1;
        m_request.InterfaceIndex = interfaceOf(address);
        m_request.pServiceInstance = m_instance;
        m_request.pRegisterCompletionCallback = &registered;
        const DWORD status = m_api.registerService(&m_request, nullptr);
        if (status != kRequestPending) {
            why = "no mDNS responder: DnsServiceRegister failed with " + std::to_string(status);
            return false;
        }
        m_registered = true;
        return true;
    }

private:
    DnsApi m_api;
    PDNS_SERVICE_INSTANCE m_instance = nullptr;
    DNS_SERVICE_REGISTER_REQUEST m_request{};
    bool m_registered = false;
};

} // namespace

std::unique_ptr<Advertiser> Advertiser::start(const QHostAddress &address, uint16_t port,
                                              std::string &why)
{
    auto advertiser = std::make_unique<WindowsAdvertiser>();
    if (!advertiser->start(address, port, why))
        return nullptr;
    return advertiser;
}

} // namespace rz417::scpinet
