# cmake -DSOURCE_DIR=<dir> -P no_posix_in_app.cmake
# Fails when a source under SOURCE_DIR outside its posix/ and win32/ folders includes a POSIX header or
# calls an obvious POSIX function: such code would not build on Windows.
if(NOT IS_DIRECTORY "${SOURCE_DIR}")
    message(FATAL_ERROR "No source directory: '${SOURCE_DIR}'")
endif()
get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)

set(posix_headers
    "unistd\\.h" "fcntl\\.h" "termios\\.h" "poll\\.h" "pwd\\.h" "grp\\.h" "signal\\.h" "csignal" "dirent\\.h"
    "dlfcn\\.h" "pthread\\.h" "semaphore\\.h" "spawn\\.h" "syslog\\.h" "libgen\\.h" "glob\\.h" "sched\\.h"
    "sys/[a-z_/]+\\.h" "netinet/[a-z_]+\\.h" "arpa/[a-z_]+\\.h" "netdb\\.h" "linux/[a-z_/]+\\.h")
list(JOIN posix_headers "|" header_pattern)

# Names that mean POSIX wherever they are called as free functions (plain or ::name)...
set(posix_calls
    getuid geteuid getgid getegid getpid getppid getpwuid getpwnam fork execl execlp execv execvp execve
    waitpid setsid sigaction sigprocmask lstat fstat fchmod chmod chown lchown mkfifo symlink readlink realpath
    isatty ttyname tcgetattr tcsetattr tcflush tcdrain cfsetispeed cfsetospeed getsockopt setsockopt
    socketpair usleep nanosleep fcntl ioctl)
# ...and those that are also common member names, only when called at global scope (::read(...)).
set(posix_global_calls open close read write stat mkdir rmdir unlink pipe dup dup2 kill poll select sleep access)
list(JOIN posix_calls "|" call_pattern)
list(JOIN posix_global_calls "|" global_call_pattern)
# Not a member (a.f, p->f) nor another scope's name (Q::f); spaces before the parenthesis allowed.
set(free "(^|[^A-Za-z0-9_.>:])")
set(call_regex "${free}(::)?(${call_pattern})[ \t]*\\(|${free}::(${global_call_pattern})[ \t]*\\(")

file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*.cpp" "${SOURCE_DIR}/*.h")
set(checked 0)
set(found "")
foreach(source IN LISTS sources)
    if(source MATCHES "(^|/)(posix|win32)/")
        continue()
    endif()
    math(EXPR checked "${checked} + 1")
    file(READ "${SOURCE_DIR}/${source}" text)
    # Texts and comments may name anything. Literals go first (one line at most), so that "//" in one
    # starts no comment.
    string(REGEX REPLACE "\"([^\"\\\n]|\\\\.)*\"|'([^'\\\n]|\\\\.)*'" "" text "${text}")
    string(REGEX REPLACE "/\\*([^*]|\\*+[^*/])*\\*+/" "" text "${text}")
    string(REGEX REPLACE "//[^\n]*" "" text "${text}")
    string(REGEX MATCHALL "#[ \t]*include[ \t]*<(${header_pattern})>" includes "${text}")
    foreach(include IN LISTS includes)
        string(APPEND found "  ${source}: ${include}\n")
    endforeach()
    string(REGEX MATCHALL "${call_regex}" calls "${text}")
    foreach(call IN LISTS calls)
        string(REGEX REPLACE "^[^A-Za-z:]" "" call "${call}")
        string(APPEND found "  ${source}: ${call}\n")
    endforeach()
endforeach()

if(checked EQUAL 0)
    message(FATAL_ERROR "No sources found under ${SOURCE_DIR}")
endif()
if(found)
    message(FATAL_ERROR "POSIX outside the posix/ and win32/ folders of ${SOURCE_DIR}:\n${found}"
                        "Move it behind the platform seam (posix/ with a win32/ counterpart).")
endif()
message(STATUS "${checked} sources under ${SOURCE_DIR}: no POSIX include or call outside posix/ and win32/")
