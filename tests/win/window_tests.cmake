# In-process tests of the setup window's behaviour: a real window of the
# setup class with real messages, the worker running the real transactions
# against a test root, the licence resource and the folder dialog.

add_library(window_test_fixture STATIC window_fixture.cpp)
target_link_libraries(window_test_fixture PUBLIC engine_test_fixture)
target_compile_options(window_test_fixture PRIVATE ${VT_WARNINGS})

# The licence text as the program's resource 302, beside the payload (301).
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/licence.rc CONTENT
"#include <windows.h>
LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US
302 RCDATA \"@VT_PAYLOAD_LICENSE@\"
" @ONLY)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/licence.rc PROPERTIES OBJECT_DEPENDS ${VT_PAYLOAD_LICENSE})

# A module whose licence resource is there but empty; UpdateResourceW cannot
# make one (a size of 0 deletes the resource).
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/empty_licence.rc CONTENT
"#include <windows.h>
LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US
302 RCDATA BEGIN END
")
add_library(empty_licence_module MODULE ${CMAKE_CURRENT_BINARY_DIR}/empty_licence.rc)
set_target_properties(empty_licence_module PROPERTIES PREFIX "" LINKER_LANGUAGE C)
target_link_options(empty_licence_module PRIVATE -nostdlib -Wl,-e,0)

function(vt_add_window_test name)
    vt_add_win_test(${name} ${ARGN} ${CMAKE_CURRENT_BINARY_DIR}/licence.rc)
    target_link_libraries(${name} PRIVATE window_test_fixture)
    vt_embed_payload(${name})
    set(${name}_tests ${${name}_tests} PARENT_SCOPE)
endfunction()

vt_add_window_test(actions_test actions_test.cpp)
target_link_libraries(actions_test PRIVATE setup_process_support)
add_dependencies(actions_test empty_licence_module)
target_compile_definitions(actions_test PRIVATE VT_EMPTY_LICENCE_MODULE="Z:$<TARGET_FILE:empty_licence_module>")
vt_add_window_test(animation_test animation_test.cpp)
vt_add_window_test(folder_picker_test folder_picker_test.cpp)
target_link_libraries(folder_picker_test PRIVATE setup_process_support)

# The window procedure's in-process tests live beside its process-level ones.
target_link_libraries(setup_window_test PRIVATE window_test_fixture)
vt_embed_payload(setup_window_test)
