// The machine id: an adapter number and that adapter's hardware address.
#include "DllSearch.h"
#include "SystemUtils.h"

#include <iphlpapi.h>
#include <nb30.h>

#include <cstdio>
#include <vector>

namespace {

using NetbiosFn = UCHAR(APIENTRY*)(PNCB);
using GetAdaptersInfoFn = DWORD(WINAPI*)(PIP_ADAPTER_INFO, PULONG);

struct AdapterStatus {
    ADAPTER_STATUS status;
    NAME_BUFFER names[30];
};

std::string fromNetbios()
{
    HMODULE library = loadSystemLibrary(L"NETAPI32.DLL");
    if (!library)
        return std::string();
    std::string id;
    auto netbios = reinterpret_cast<NetbiosFn>(GetProcAddress(library, "Netbios"));
    if (netbios) {
        LANA_ENUM lanas = {};
        NCB ncb = {};
        ncb.ncb_command = NCBENUM;
        ncb.ncb_buffer = reinterpret_cast<PUCHAR>(&lanas);
        ncb.ncb_length = sizeof lanas;
        if (netbios(&ncb) == NRC_GOODRET) {
            for (UCHAR i = 0; i < lanas.length && id.empty(); ++i) {
                UCHAR lana = lanas.lana[i];
                NCB reset = {};
                reset.ncb_command = NCBRESET;
                reset.ncb_lana_num = lana;
                netbios(&reset);

                AdapterStatus adapter = {};
                NCB status = {};
                status.ncb_command = NCBASTAT;
                status.ncb_lana_num = lana;
                memset(status.ncb_callname, ' ', NCBNAMSZ);
                status.ncb_callname[0] = '*';
                status.ncb_buffer = reinterpret_cast<PUCHAR>(&adapter);
                status.ncb_length = sizeof adapter;
                if (netbios(&status) == NRC_GOODRET) {
                    const UCHAR* a = adapter.status.adapter_address;
                    char text[32] = {};
                    snprintf(text, sizeof text, "%02d%02X%02X%02X%02X%02X%02X", lana, a[0], a[1], a[2], a[3],
                             a[4], a[5]);
                    id = text;
                }
            }
        }
    }
    FreeLibrary(library);
    return id;
}

std::string fromIpHelper()
{
    HMODULE library = loadSystemLibrary(L"IPHLPAPI.DLL");
    if (!library)
        return std::string();
    std::string id;
    auto getAdaptersInfo = reinterpret_cast<GetAdaptersInfoFn>(GetProcAddress(library, "GetAdaptersInfo"));
    if (getAdaptersInfo) {
        ULONG size = 20736;
        std::vector<unsigned char> buffer(size);
        DWORD result = getAdaptersInfo(reinterpret_cast<PIP_ADAPTER_INFO>(buffer.data()), &size);
        if (result == ERROR_BUFFER_OVERFLOW && size > buffer.size()) {
            buffer.resize(size);
            result = getAdaptersInfo(reinterpret_cast<PIP_ADAPTER_INFO>(buffer.data()), &size);
        }
        if (result == NO_ERROR) {
            const auto* adapter = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data());
            char text[16] = {};
            snprintf(text, sizeof text, "%02u", static_cast<unsigned>(adapter->Index));
            id = text;
            UINT length = adapter->AddressLength < MAX_ADAPTER_ADDRESS_LENGTH ? adapter->AddressLength
                                                                              : MAX_ADAPTER_ADDRESS_LENGTH;
            for (UINT i = 0; i < length; ++i) {
                snprintf(text, sizeof text, "%02X", adapter->Address[i]);
                id += text;
            }
        }
    }
    FreeLibrary(library);
    return id;
}

} // namespace

std::string getMacId()
{
    // NetBIOS first; the IP helper when no NetBIOS adapter answers.
    std::string id = fromNetbios();
    if (id.empty())
        id = fromIpHelper();
    return id;
}

std::wstring escapeUrlQueryValue(const std::string& bytes)
{
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    std::wstring escaped;
    for (unsigned char c : bytes) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            escaped += static_cast<wchar_t>(c);
        } else {
            escaped += L'%';
            escaped += kHex[c >> 4];
            escaped += kHex[c & 15];
        }
    }
    return escaped;
}

std::wstring machineIdForUrl()
{
    // setup.ini lives in the user's profile, where any program of the user
    // can write it: its text goes into the address only escaped.
    return escapeUrlQueryValue(readMacIdFromSetupIni());
}
