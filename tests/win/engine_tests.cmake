# In-process tests of the install and uninstall transactions, the progress
# channel, stopping the running application and the self-removal that follows
# an uninstall, with the helper programs they start.

add_subdirectory(stubborn_app)

# A stand-in powershell.exe and a process that plays the exiting setup program.
add_executable(fake_powershell WIN32 fake_powershell/fake_powershell.cpp)
set_target_properties(fake_powershell PROPERTIES OUTPUT_NAME fake-powershell)
target_compile_options(fake_powershell PRIVATE ${VT_WARNINGS})
target_link_options(fake_powershell PRIVATE -municode)

add_executable(self_removal_probe self_removal_probe/self_removal_probe.cpp)
target_compile_options(self_removal_probe PRIVATE ${VT_WARNINGS})
target_link_options(self_removal_probe PRIVATE -municode)
target_link_libraries(self_removal_probe PRIVATE setup_core)

add_library(engine_test_fixture STATIC engine_fixture.cpp)
target_link_libraries(engine_test_fixture PUBLIC win_test_support)
target_compile_options(engine_test_fixture PRIVATE ${VT_WARNINGS})

function(vt_add_engine_test name)
    vt_add_win_test(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE engine_test_fixture)
endfunction()

vt_add_engine_test(progress_test progress_test.cpp)
vt_embed_payload(progress_test)
target_link_libraries(progress_test PRIVATE psapi)

vt_add_engine_test(shortcut_test shortcut_test.cpp)
vt_embed_payload(shortcut_test)

vt_add_engine_test(install_test install_test.cpp)
vt_embed_payload(install_test)

vt_add_engine_test(uninstall_test uninstall_test.cpp)
vt_embed_payload(uninstall_test)

vt_add_engine_test(running_instance_test running_instance_test.cpp)
vt_embed_payload(running_instance_test)
add_dependencies(running_instance_test stubborn_app velmotulve_app)
target_compile_definitions(running_instance_test PRIVATE VT_STUBBORN_APP_PATH="Z:$<TARGET_FILE:stubborn_app>")

vt_add_engine_test(self_removal_test self_removal_test.cpp)
add_dependencies(self_removal_test fake_powershell self_removal_probe)
target_compile_definitions(self_removal_test PRIVATE
    VT_FAKE_POWERSHELL_PATH="Z:$<TARGET_FILE:fake_powershell>"
    VT_SELF_REMOVAL_PROBE_PATH="Z:$<TARGET_FILE:self_removal_probe>")

vt_add_engine_test(lifecycle_test lifecycle_test.cpp)
vt_embed_payload(lifecycle_test)

# EstimatedSize with an application one byte over a whole KiB: the build's
# application padded at its end (the loader ignores data after the image),
# packed into a payload of its own and embedded as resource 301.
set(vt_padded_app ${CMAKE_CURRENT_BINARY_DIR}/padded-app/VelmoTulve.exe)
add_custom_command(OUTPUT ${vt_padded_app}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/padded-app
    COMMAND sh -c "cp \"$0\" \"$1\" && size=$(stat -c %s \"$1\") && head -c $(( (1025 - size % 1024) % 1024 )) /dev/zero >> \"$1\""
            ${vt_payload_app_file} ${vt_padded_app}
    DEPENDS ${vt_payload_app_dep}
    COMMENT "Padding the application to 1024n+1 bytes"
    VERBATIM)
set(vt_padded_payload ${CMAKE_CURRENT_BINARY_DIR}/padded-payload.vtpk)
add_custom_command(OUTPUT ${vt_padded_payload}
    COMMAND ${VTPACK} pack --app ${vt_padded_app} --license ${VT_PAYLOAD_LICENSE} -o ${vt_padded_payload}
    DEPENDS host_tools ${VTPACK} ${vt_padded_app} ${VT_PAYLOAD_LICENSE}
    COMMENT "Packing the padded payload"
    VERBATIM)
add_custom_target(padded_payload DEPENDS ${vt_padded_payload})
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/padded_payload.rc CONTENT
"#include <windows.h>
LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US
301 RCDATA \"@vt_padded_payload@\"
" @ONLY)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/padded_payload.rc PROPERTIES OBJECT_DEPENDS ${vt_padded_payload})
vt_add_engine_test(estimated_size_test estimated_size_test.cpp)
target_sources(estimated_size_test PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/padded_payload.rc)
add_dependencies(estimated_size_test padded_payload)
target_compile_definitions(estimated_size_test PRIVATE VT_PADDED_APP_PATH="Z:${vt_padded_app}")

vt_add_engine_test(hostile_folder_test hostile_folder_test.cpp)
vt_embed_payload(hostile_folder_test)
