// What a Windows machine offers to port enumeration: the friendly names of the devices behind
// the COM-port interface class (SetupAPI), and the COMn names among the DOS device names as the
// fallback. Nothing is opened.
#include <tessel/config/detail/wide_path.h>
#include <tessel/serial/detail/port_enumeration.h>
#include <tessel/serial/detail/serial_platform.h>

#include <windows.h>
#include <setupapi.h>

#include <algorithm>
#include <cwctype>
#include <vector>

namespace tessel::detail {
namespace {

// GUID_DEVINTERFACE_COMPORT, spelled out so that no GUID library is needed.
const GUID kComPortInterface = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

std::vector<std::string> InterfaceFriendlyNames() {
    std::vector<std::string> names;
    HDEVINFO set = SetupDiGetClassDevsW(&kComPortInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return names;
    SP_DEVICE_INTERFACE_DATA item{};
    item.cbSize = sizeof item;
    for (DWORD index = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &kComPortInterface, index, &item); ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        DWORD detailSize = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &item, nullptr, 0, &detailSize, nullptr);
        if (detailSize < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
        std::vector<unsigned char> detailBytes(detailSize);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(detailBytes.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!SetupDiGetDeviceInterfaceDetailW(set, &item, detail, detailSize, nullptr, &device)) continue;
        wchar_t friendly[256] = {};  // 512 bytes, as the portable code expects
        if (!SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_FRIENDLYNAME, nullptr,
                                               reinterpret_cast<BYTE*>(friendly), sizeof friendly - sizeof(wchar_t),
                                               nullptr))
            continue;
        names.push_back(Utf8FromWide(friendly));
    }
    SetupDiDestroyDeviceInfoList(set);
    return names;
}

// The number of a "COMn" name; -1 for anything else.
long ComNumber(const std::wstring& name) {
    if (name.size() < 4 || name.size() > 12 || _wcsnicmp(name.c_str(), L"COM", 3) != 0) return -1;
    long n = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (!std::iswdigit(name[i])) return -1;
        n = n * 10 + (name[i] - L'0');
    }
    return n;
}

std::vector<std::string> DosComNames() {
    std::vector<wchar_t> buffer(16 * 1024);
    for (;;) {
        if (QueryDosDeviceW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size())) != 0) break;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || buffer.size() >= (1u << 22)) return {};
        buffer.resize(buffer.size() * 2);
    }
    std::vector<std::pair<long, std::string>> found;
    for (const wchar_t* entry = buffer.data(); *entry != L'\0'; entry += wcslen(entry) + 1) {
        const long n = ComNumber(entry);
        if (n >= 0) found.emplace_back(n, "COM" + std::to_string(n));
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    std::vector<std::string> names;
    for (auto& entry : found) names.push_back(std::move(entry.second));
    return names;
}

}  // namespace

PortCandidates ScanSerialPorts() {
    PortCandidates result;
    result.friendlyNames = InterfaceFriendlyNames();
    result.fallbackNames = DosComNames();
    return result;  // a Windows console is no serial port, so none is listed as one
}

}  // namespace tessel::detail
