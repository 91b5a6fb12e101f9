# Benchmarks of the setup window under Wine (bench/window_bench.sh runs them).
add_executable(frame_bench ${CMAKE_SOURCE_DIR}/bench/frame_bench.cpp)
target_link_libraries(frame_bench PRIVATE render_fixture)
target_link_options(frame_bench PRIVATE -municode)

add_executable(first_frame_reference WIN32 ${CMAKE_SOURCE_DIR}/bench/first_frame_reference.cpp
               ${CMAKE_SOURCE_DIR}/setup/system_library.cpp)
target_include_directories(first_frame_reference PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(first_frame_reference PRIVATE ${VT_WARNINGS} ${VT_LEAN_FLAGS})
target_link_options(first_frame_reference PRIVATE -municode)

add_executable(first_frame_bench ${CMAKE_SOURCE_DIR}/bench/first_frame_bench.cpp)
target_include_directories(first_frame_bench PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(first_frame_bench PRIVATE ${VT_WARNINGS})
target_link_options(first_frame_bench PRIVATE -municode)

# Time to the first painted frame and the height animation's step rate.
add_executable(animation_bench ${CMAKE_SOURCE_DIR}/bench/animation_bench.cpp)
target_link_libraries(animation_bench PRIVATE setup_process_support winmm)
target_compile_options(animation_bench PRIVATE ${VT_WARNINGS})
target_link_options(animation_bench PRIVATE -municode)

# The payload digest's cost on a file: SHA extensions, portable rounds, BCrypt.
add_executable(digest_bench ${CMAKE_SOURCE_DIR}/bench/digest_bench.cpp)
target_link_libraries(digest_bench PRIVATE setup_core)
target_compile_options(digest_bench PRIVATE ${VT_WARNINGS} ${VT_LEAN_FLAGS})

# How often Wine fails to start a process (bench/process_start.sh runs it).
add_executable(process_start_bench ${CMAKE_SOURCE_DIR}/bench/process_start_bench.cpp)
target_compile_options(process_start_bench PRIVATE ${VT_WARNINGS})
