#pragma once

namespace tavrel::app {

// True while a debugger is attached to this process; asked of the operating system (posix/, win32/).
bool IsDebuggerAttached();

}  // namespace tavrel::app
