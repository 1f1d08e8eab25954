// The shipped joybits.dll as Windows sees it in the file's properties: its version
// resource gives the project's version. (Outside Windows the plug-in is linked in and
// has no such resource.)
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>

#include <string>
#include <vector>

#include "joybits_version.h"

namespace {

std::wstring beside_test_program(const wchar_t* file) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1) + file;
}

std::wstring string_value(std::vector<char>& info, const wchar_t* name) {
    wchar_t* text = nullptr;
    UINT length = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&text), &length) == 0 || length == 0) {
        return L"";
    }
    return std::wstring(text, length - 1);
}

}  // namespace

TEST(ShippedLibrary, CarriesTheProjectsVersionInItsResource) {
    const std::wstring dll = beside_test_program(L"joybits.dll");
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(dll.c_str(), &ignored);
    ASSERT_NE(size, 0u) << "no version resource";
    std::vector<char> info(size);
    ASSERT_NE(GetFileVersionInfoW(dll.c_str(), 0, size, info.data()), 0);

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixed_size = 0;
    ASSERT_NE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixed_size), 0);
    ASSERT_GE(fixed_size, sizeof(VS_FIXEDFILEINFO));
    const std::string numbers = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(HIWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(numbers, JOYBITS_VERSION);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionLS), 0);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    const std::string version = JOYBITS_VERSION;
    const std::wstring wide_version(version.begin(), version.end());
    EXPECT_EQ(string_value(info, L"FileVersion"), wide_version);
    EXPECT_EQ(string_value(info, L"ProductVersion"), wide_version);
    EXPECT_EQ(string_value(info, L"ProductName"), L"joybits");
    EXPECT_EQ(string_value(info, L"OriginalFilename"), L"joybits.dll");
    EXPECT_NE(string_value(info, L"LegalCopyright").find(L"Copyright"), std::wstring::npos);
}
#endif
