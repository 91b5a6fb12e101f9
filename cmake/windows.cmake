# Cross build of the setup program, the packed application and the Windows
# tests (run under Wine through CMAKE_CROSSCOMPILING_EMULATOR).

add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                        _WIN32_WINNT=0x0A00 WINVER=0x0A00 NTDDI_VERSION=0x0A000000)
set(VT_WARNINGS -Wall -Wextra)
# Every object of this build aligns constant arrays alike. An inline constexpr
# array is one COMDAT section that the program's objects and the tests' share,
# and the linker wants its size, padding included, to agree: GCC's default
# aligns arrays of 32 bytes or more to 32 bytes, -malign-data=abi to what the
# ABI asks for (that padding was also 0.6 KB of the program's strings).
add_compile_options(-malign-data=abi)
# One self-contained file: the C++ run-time and winpthread are linked in.
add_link_options(-static -static-libgcc -static-libstdc++ -s)
include(cmake/reproducible.cmake)
include(cmake/signing.cmake)

# --- host tools (the packer), built natively by a nested configure ---------
include(ExternalProject)
set(VT_HOST_TOOLS_DIR ${CMAKE_BINARY_DIR}/host-tools)
set(VTPACK ${VT_HOST_TOOLS_DIR}/tools/vtpack/vtpack)
ExternalProject_Add(host_tools
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${VT_HOST_TOOLS_DIR}
    CMAKE_ARGS -DVT_HOST_TOOLS_ONLY=ON -DCMAKE_BUILD_TYPE=Release
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${VTPACK})

# --- the application that is packed by default ------------------------------
add_subdirectory(app)

# --- payload ------------------------------------------------------------------
set(VT_PAYLOAD_APP "" CACHE FILEPATH
    "Application binary to pack instead of the VelmoTulve.exe built from app/")
set(VT_PAYLOAD_LICENSE "${CMAKE_SOURCE_DIR}/LICENSE" CACHE FILEPATH
    "Licence text packed with the application and shown by the setup program")
set(VT_PAYLOAD_BLOCK_SIZE "" CACHE STRING
    "LZMS block size for the payload (empty: each file as one block)")
if(VT_PAYLOAD_APP)
    set(vt_payload_app_file ${VT_PAYLOAD_APP})
    set(vt_payload_app_dep ${VT_PAYLOAD_APP})
else()
    set(vt_payload_app_file $<TARGET_FILE:velmotulve_app>)
    set(vt_payload_app_dep velmotulve_app)
endif()
# With signing on, a signed copy is packed; the input stays as it was.
if(VT_SIGN)
    set(vt_signed_app ${CMAKE_BINARY_DIR}/signed/VelmoTulve.exe)
    vt_sign_copy(${vt_payload_app_file} ${vt_signed_app} "Velmo Tulve" ${vt_payload_app_dep})
    set(vt_payload_app_file ${vt_signed_app})
    set(vt_payload_app_dep ${vt_signed_app})
endif()
set(vt_block_args)
if(VT_PAYLOAD_BLOCK_SIZE)
    set(vt_block_args --block-size ${VT_PAYLOAD_BLOCK_SIZE})
endif()
set(VT_PAYLOAD ${CMAKE_BINARY_DIR}/payload.vtpk)
add_custom_command(OUTPUT ${VT_PAYLOAD}
    COMMAND ${VTPACK} pack --app ${vt_payload_app_file} --license ${VT_PAYLOAD_LICENSE}
            ${vt_block_args} -o ${VT_PAYLOAD}
    DEPENDS host_tools ${VTPACK} ${vt_payload_app_dep} ${VT_PAYLOAD_LICENSE}
    COMMENT "Packing the payload archive"
    VERBATIM)
add_custom_target(payload DEPENDS ${VT_PAYLOAD})

# --- the setup program --------------------------------------------------------
set(VT_SETUP_SOURCES
    setup/setup_state.cpp
    setup/setup_options.cpp
    setup/system_library.cpp
    setup/progress.cpp
    setup/finishing.cpp
    engine/paths.cpp
    engine/payload_decompressor.cpp
    engine/payload_extract.cpp
    engine/running_instance.cpp
    engine/shortcut.cpp
    engine/install.cpp
    engine/uninstall.cpp
    window/ui_state.cpp
    window/animation.cpp
    window/folder_picker.cpp
    window/actions.cpp
    window/setup_window.cpp
    window/accessibility.cpp
    render/text_formats.cpp
    render/render_surface.cpp
    render/primitives.cpp
    render/header_island.cpp
    render/page_painters.cpp
)
list(TRANSFORM VT_SETUP_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/)
add_library(setup_core STATIC ${VT_SETUP_SOURCES} ${VT_CORE_SOURCES})
target_include_directories(setup_core PUBLIC ${CMAKE_SOURCE_DIR})
# The installer's size is part of the product: its code is built for size,
# without C++ exceptions (nothing catches one) or RTTI, and unused sections
# are dropped at link time.
# The tests link this library; the setup program itself is compiled from the
# same sources with link-time optimisation as well (below).
set(VT_LEAN_FLAGS -Oz -fno-exceptions -fno-rtti -fno-threadsafe-statics -ffunction-sections
                  -fdata-sections)
target_compile_options(setup_core PRIVATE ${VT_WARNINGS} ${VT_LEAN_FLAGS})
# Only known system DLLs are imported at load time; d2d1, dwrite, dwmapi and
# cabinet are loaded from System32 at run time (setup/system_library.h).
target_link_libraries(setup_core PUBLIC kernel32 user32 gdi32 advapi32 shell32 ole32 oleaut32 uuid)

set(VT_LICENSE_RC ${VT_PAYLOAD_LICENSE})
configure_file(setup/setup.rc.in ${CMAKE_BINARY_DIR}/setup.rc @ONLY)
# Link-time optimisation, in one partition, shares the code of inlined
# helpers and template instances across files: about a tenth of the program.
# The LZMS decoder is built for size too: at -O2 it is 3.4 KB larger and no
# faster (callgrind, bench PE: 126.2M instructions at -O2, 126.0M at -Oz).
add_executable(setup_exe WIN32 setup/main.cpp setup/lean_runtime.cpp setup/entry.cpp ${VT_SETUP_SOURCES} ${VT_CORE_SOURCES}
               ${CMAKE_BINARY_DIR}/setup.rc)
set_target_properties(setup_exe PROPERTIES OUTPUT_NAME VelmoTulve-Setup-x64)
target_include_directories(setup_exe PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(setup_exe PRIVATE ${VT_WARNINGS} ${VT_LEAN_FLAGS} -flto)
target_link_options(setup_exe PRIVATE -nostartfiles -Wl,-e,SetupEntry -Wl,--gc-sections -flto -flto-partition=one -Oz)
target_link_libraries(setup_exe PRIVATE $<TARGET_PROPERTY:setup_core,INTERFACE_LINK_LIBRARIES>)
set_source_files_properties(${CMAKE_BINARY_DIR}/setup.rc PROPERTIES
    OBJECT_DEPENDS "${VT_PAYLOAD};${VT_PAYLOAD_LICENSE};${CMAKE_SOURCE_DIR}/setup/setup.manifest")
add_dependencies(setup_exe payload)
if(VT_SIGN)
    vt_sign_target(setup_exe "Velmo Tulve Setup")
endif()

# --- tests under Wine -----------------------------------------------------------
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)
add_subdirectory(tests/win)
add_subdirectory(tests/release)
include(bench/windows.cmake)
