# Dependencies of a cross build (win64), taken from the build host without downloading anything:
# nlohmann/json is header-only, GoogleTest is built for the target from Debian's sources.

# Only the json headers, not the whole host include folder, so that no Linux header shadows the target's.
set(TAVREL_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${TAVREL_HOST_HEADERS})
file(CREATE_LINK /usr/include/nlohmann ${TAVREL_HOST_HEADERS}/nlohmann SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${TAVREL_HOST_HEADERS})

if(TAVREL_BUILD_TESTS)
    set(TAVREL_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources built for the target")
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    add_subdirectory(${TAVREL_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
