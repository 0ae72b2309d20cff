include(GoogleTest)

# tavrel_add_gtest(<name> LABEL <layer> [TIMEOUT <s>] SOURCES ... [LIBS ...] [ENVIRONMENT ...])
# One executable per group of related cases; every case becomes a CTest test carrying the layer label.
function(tavrel_add_gtest name)
    cmake_parse_arguments(ARG "" "LABEL;TIMEOUT" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 60)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    tavrel_set_warnings(${name})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
    if(CMAKE_CROSSCOMPILING)
        # One run of the whole program under the emulator (Wine): starting it per case would cost seconds each.
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT}
            ENVIRONMENT "${ARG_ENVIRONMENT}")
        return()
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 30
        PROPERTIES LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${ARG_ENVIRONMENT}")
endfunction()
