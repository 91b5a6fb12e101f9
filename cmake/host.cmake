# Native build of the code that needs no Windows header, plus the host tools.
# VT_HOST_TOOLS_ONLY builds just the packer (the Windows build uses it to make
# the payload).
option(VT_HOST_TOOLS_ONLY "Build only the host tools" OFF)

set(VT_WARNINGS -Wall -Wextra)

add_library(vt_core STATIC ${VT_CORE_SOURCES})
target_include_directories(vt_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(vt_core PRIVATE ${VT_WARNINGS})

find_package(PkgConfig REQUIRED)
pkg_check_modules(WIMLIB REQUIRED IMPORTED_TARGET wimlib)

add_subdirectory(tools/vtpack)

# Crafts the archives that vtpack and the setup program must agree on.
add_executable(craft_payloads ${CMAKE_SOURCE_DIR}/tests/host/craft_payloads.cpp
                              ${CMAKE_SOURCE_DIR}/tests/common/payload_cases.cpp)
target_link_libraries(craft_payloads PRIVATE vt_core)
set_target_properties(craft_payloads PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/host)

if(VT_HOST_TOOLS_ONLY)
    return()
endif()

# The same core again, instrumented, for the host tests and fuzzers.
add_library(vt_core_checked STATIC ${VT_CORE_SOURCES})
target_include_directories(vt_core_checked PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(vt_core_checked PUBLIC -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
target_link_options(vt_core_checked PUBLIC -fsanitize=address,undefined)

find_package(GTest REQUIRED)
include(GoogleTest)

add_subdirectory(tests/host)
add_subdirectory(tests/fuzz)
add_subdirectory(bench)
