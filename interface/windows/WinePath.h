#pragma once
// A Unix path (bytes in the Unix encoding) as a Windows program under Wine
// must name it. Wine exports wine_get_dos_file_name for this; it knows the
// prefix's drive mapping, so it holds whatever drive maps the Unix root.
// Any other path is taken in the ANSI code page, as Windows takes it.
#include <windows.h>

#include <string>

namespace kelrin::wine {

// UTF-8 bytes of a wide text: how Unix paths and texts come from Windows.
inline std::string utf8(const std::wstring &text)
{
    const int count =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(count > 0 ? count - 1 : 0, '\0');
    if (count > 1)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), count, nullptr, nullptr);
    return bytes;
}

inline std::wstring windowsPath(const std::string &path)
{
    const auto plain = [&] {
        const int count = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
        std::wstring wide(count > 0 ? count - 1 : 0, L'\0');
        if (count > 1)
            MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), count);
        return wide;
    };
    if (path.empty() || path.front() != '/')
        return plain();
    using ToDos = WCHAR *(CDECL *)(LPCSTR);
    const auto toDos = reinterpret_cast<ToDos>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    WCHAR *dos = toDos ? toDos(path.c_str()) : nullptr;
    if (!dos)
        return plain();
    std::wstring converted(dos);
    HeapFree(GetProcessHeap(), 0, dos);
    return converted;
}

} // namespace kelrin::wine
