#pragma once

#include <string>

// UTF-8 (the system's strings) to and from UTF-16 (the Win32 W functions), and the OS's message texts.
namespace tavrel::link::win32 {

std::wstring Widen(const std::string& Text);
std::string Narrow(const wchar_t* Text, std::size_t Length);
std::string Narrow(const std::wstring& Text);
// FormatMessageW's text for a Win32 error code, without the trailing line break.
std::string SystemMessage(unsigned long Code);

}  // namespace tavrel::link::win32
