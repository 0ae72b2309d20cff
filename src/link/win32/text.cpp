#include "link/win32/text.h"

#include <windows.h>

namespace tavrel::link::win32 {

std::wstring Widen(const std::string& Text) {
    if (Text.empty()) {
        return {};
    }
    const int size = static_cast<int>(Text.size());
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, Text.data(), size, nullptr, 0);
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, Text.data(), size, result.data(), length);
    return result;
}

std::string Narrow(const wchar_t* Text, std::size_t Length) {
    if (Length == 0) {
        return {};
    }
    const int size = static_cast<int>(Length);
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, Text, size, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, Text, size, result.data(), length, nullptr, nullptr);
    return result;
}

std::string Narrow(const std::wstring& Text) {
    return Narrow(Text.data(), Text.size());
}

std::string SystemMessage(unsigned long Code) {
    wchar_t* buffer = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD length = ::FormatMessageW(flags, nullptr, Code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0 || buffer == nullptr) {
        return "System error " + std::to_string(Code);
    }
    std::wstring text(buffer, length);
    ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
        text.pop_back();
    }
    return Narrow(text);
}

}  // namespace tavrel::link::win32
