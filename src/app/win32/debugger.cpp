#include "app/debugger.h"

#include <windows.h>

namespace tavrel::app {

bool IsDebuggerAttached() {
    return IsDebuggerPresent() != FALSE;
}

}  // namespace tavrel::app
