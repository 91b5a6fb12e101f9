# Tests that run the built setup program as a process of its own: silent runs
# and their exit codes, single instance, self-removal, the window and its
# error box, and where the program's DLLs come from.

add_library(setup_process_support STATIC setup_process_support.cpp)
target_link_libraries(setup_process_support PUBLIC win_test_support)
target_compile_options(setup_process_support PRIVATE ${VT_WARNINGS})

function(vt_add_process_test name)
    vt_add_win_test(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE setup_process_support)
    add_dependencies(${name} setup_exe)
    set(${name}_tests ${${name}_tests} PARENT_SCOPE)
endfunction()

# The stand-in application that ignores WM_CLOSE keeps a silent run busy.
if(NOT TARGET stubborn_app)
    add_subdirectory(stubborn_app)
endif()

vt_add_process_test(setup_process_test setup_process_test.cpp)
add_dependencies(setup_process_test stubborn_app)
target_compile_definitions(setup_process_test PRIVATE VT_STUBBORN_APP_EXE="Z:$<TARGET_FILE:stubborn_app>")

vt_add_process_test(setup_window_test setup_window_test.cpp)

# Real input through the X server to the real program: needs the display.
vt_add_process_test(setup_flows_test setup_flows_test.cpp)
add_dependencies(setup_flows_test velmotulve_app)

# Killed runs and repeated rounds: many whole runs each, hence the longer bound.
vt_add_process_test(reliability_test reliability_test.cpp)
set_tests_properties(${reliability_test_tests} PROPERTIES TIMEOUT 900)

# --- DLL planting -----------------------------------------------------------------
# A DLL that leaves a marker file beside itself when it is loaded.
add_library(planted_dll SHARED planted_dll/planted_dll.cpp)
set_target_properties(planted_dll PROPERTIES PREFIX "" OUTPUT_NAME planted)
target_compile_options(planted_dll PRIVATE ${VT_WARNINGS})

# The negative control: the setup program built with the test-only switch
# that leaves Windows' default DLL search order in place
# (setup/system_library.cpp). Never installed or shipped.
add_executable(setup_exe_unprotected WIN32 ${CMAKE_SOURCE_DIR}/setup/main.cpp ${VT_SETUP_SOURCES} ${VT_CORE_SOURCES}
               ${CMAKE_BINARY_DIR}/setup.rc)
set_source_files_properties(${CMAKE_BINARY_DIR}/setup.rc PROPERTIES
    OBJECT_DEPENDS "${VT_PAYLOAD};${VT_PAYLOAD_LICENSE};${CMAKE_SOURCE_DIR}/setup/setup.manifest")
set_target_properties(setup_exe_unprotected PROPERTIES OUTPUT_NAME VelmoTulve-Setup-x64-unprotected)
target_compile_definitions(setup_exe_unprotected PRIVATE VT_TEST_UNPROTECTED_DLL_SEARCH)
target_include_directories(setup_exe_unprotected PRIVATE ${CMAKE_SOURCE_DIR})
target_link_options(setup_exe_unprotected PRIVATE -municode)
target_compile_options(setup_exe_unprotected PRIVATE ${VT_WARNINGS})
target_link_libraries(setup_exe_unprotected PRIVATE $<TARGET_PROPERTY:setup_core,INTERFACE_LINK_LIBRARIES>)
add_dependencies(setup_exe_unprotected payload)

vt_add_process_test(dll_planting_test dll_planting_test.cpp)
add_dependencies(dll_planting_test planted_dll setup_exe_unprotected)
target_compile_definitions(dll_planting_test PRIVATE
    VT_PLANTED_DLL="Z:$<TARGET_FILE:planted_dll>"
    VT_UNPROTECTED_SETUP_EXE="Z:$<TARGET_FILE:setup_exe_unprotected>")
# Wine reads WINEDLLOVERRIDES from the environment it was started with (a
# Windows parent changing it has no effect on its children), so CTest sets it:
# native DLLs found by the normal search order first, as Windows does.
# version.dll is left out: Wine's own user32.dll imports it while the process
# is being loaded, before the program's first instruction, which no program
# can prevent (Windows' user32 does not); with it overridden every Wine
# program would load a planted copy. The setup program itself never loads it.
set_tests_properties(${dll_planting_test_tests} PROPERTIES
    ENVIRONMENT "WINEDLLOVERRIDES=d2d1,dwrite,dwmapi,cabinet,uxtheme=n,b")

# A stand-in virus scanner that holds every new or changed file for a while.
add_executable(busy_scanner WIN32 busy_scanner/busy_scanner.cpp)
set_target_properties(busy_scanner PROPERTIES OUTPUT_NAME busy-scanner)
target_compile_options(busy_scanner PRIVATE ${VT_WARNINGS})
target_link_options(busy_scanner PRIVATE -municode)
target_link_libraries(busy_scanner PRIVATE setup_core)

vt_add_process_test(scanner_test scanner_test.cpp)
add_dependencies(scanner_test busy_scanner)
target_compile_definitions(scanner_test PRIVATE VT_BUSY_SCANNER_EXE="Z:$<TARGET_FILE:busy_scanner>")
