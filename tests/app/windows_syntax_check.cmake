# cmake -DSOURCE_DIR=<dir> -DINCLUDES=<a|b> -DQT_INCLUDES=<a|b> -DDEFINES=<a|b> -DFLAGS=<a|b>
#       -P windows_syntax_check.cmake
# Checks that the sources directly in SOURCE_DIR and in its win32/ folder compile for Windows: the
# mingw-w64 cross compiler parses each of them against this machine's Qt headers, which hardly depend on
# the platform. Prints "SKIPPED" and succeeds when no cross compiler is installed.
find_program(MINGW_CXX NAMES x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-g++)
if(NOT MINGW_CXX)
    message("SKIPPED: no mingw-w64 cross compiler (x86_64-w64-mingw32-g++-posix)")
    return()
endif()

set(arguments -fsyntax-only -std=c++20 -DUNICODE -D_UNICODE)
foreach(name IN ITEMS INCLUDES QT_INCLUDES DEFINES FLAGS)
    string(REPLACE "|" ";" ${name} "${${name}}")
endforeach()
foreach(dir IN LISTS INCLUDES)
    list(APPEND arguments "-I${dir}")
endforeach()
# Warnings in Qt's headers are Qt's, not ours.
foreach(dir IN LISTS QT_INCLUDES)
    list(APPEND arguments -isystem "${dir}")
endforeach()
foreach(definition IN LISTS DEFINES)
    list(APPEND arguments "-D${definition}")
endforeach()
list(APPEND arguments ${FLAGS})

file(GLOB sources "${SOURCE_DIR}/*.cpp" "${SOURCE_DIR}/win32/*.cpp")
list(LENGTH sources count)
if(count EQUAL 0)
    message(FATAL_ERROR "No sources found under '${SOURCE_DIR}'")
endif()
set(failed "")
foreach(source IN LISTS sources)
    execute_process(COMMAND "${MINGW_CXX}" ${arguments} "${source}"
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message("${output}")
        list(APPEND failed "${source}")
    endif()
endforeach()
if(failed)
    list(JOIN failed "\n  " failed)
    message(FATAL_ERROR "Do not compile for Windows (${MINGW_CXX}):\n  ${failed}")
endif()
message(STATUS "${count} sources compile for Windows with ${MINGW_CXX}")
