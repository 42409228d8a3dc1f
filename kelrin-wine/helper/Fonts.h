#pragma once
// Chinese Windows' own fonts under Wine. Under code page 936 Wine draws
// dialogs and message boxes in SimSun, which no Debian package provides:
// without a replacement the DLL's Chinese texts show as empty boxes. The
// prefix's font replacements name the CJK fonts the station depends on, the
// first one installed taking SimSun's place. Written before anything of
// user32 runs, so that this process already draws with them; a replacement
// an administrator has set stays.
#include <windows.h>

#include <string>

namespace kelrin::wine {

inline void replaceChineseFonts()
{
    // A list of names, each ended by a NUL, and the list by another.
    static const wchar_t kInstalled[] =
        L"WenQuanYi Zen Hei\0Noto Sans CJK SC\0Droid Sans Fallback\0";
    static const wchar_t *const kWindowsFonts[] = {L"SimSun",
                                                   L"NSimSun",
                                                   L"Microsoft YaHei",
                                                   L"\x5B8B\x4F53",              // 宋体
                                                   L"\x65B0\x5B8B\x4F53",        // 新宋体
                                                   L"\x5FAE\x8F6F\x96C5\x9ED1"}; // 微软雅黑
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\Fonts\\Replacements", 0, nullptr, 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    for (const wchar_t *font : kWindowsFonts) {
        if (RegQueryValueExW(key, font, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
            continue;
        RegSetValueExW(key, font, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE *>(kInstalled),
                       sizeof kInstalled);
    }
    RegCloseKey(key);
}

} // namespace kelrin::wine
