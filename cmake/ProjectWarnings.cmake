# One place for the project's warning flags; CI turns them into errors.
option(TAVREL_WERROR "Treat warnings as errors" OFF)

function(tavrel_set_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
        -Woverloaded-virtual -Wformat=2 -Wimplicit-fallthrough -Wmissing-declarations)
    if(TAVREL_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
