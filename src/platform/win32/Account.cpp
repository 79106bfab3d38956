#include "platform/Account.h"

#include <windows.h>

#include <vector>

#include "platform/win32/Ownership.h"

namespace platform::account {

std::wstring ProcessAccount() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    const win32::UniqueKernelHandle owned(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<std::uint8_t> user(size);
    if (!GetTokenInformation(token, TokenUser, user.data(), size, &size)) return {};
    PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    wchar_t name[256] = {}, domain[256] = {};
    DWORD nameLength = 256, domainLength = 256;
    SID_NAME_USE use = SidTypeUnknown;
    if (!LookupAccountSidW(nullptr, sid, name, &nameLength, domain, &domainLength, &use)) return {};
    return domainLength > 0 ? std::wstring(domain) + L"\\" + name : std::wstring(name);
}

}  // namespace platform::account
