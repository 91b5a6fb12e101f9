# Two builds of one commit give the same bytes wherever the tree lies, and
# whenever and by whom it is built (tests/release rebuilds the tree in another
# folder and compares). Included by the cross build before any target.

# The one date a PE carries is the COFF header's time stamp, which ld fills
# from the clock unless told otherwise. It is SOURCE_DATE_EPOCH when the
# configure step sees that variable, else zero. ld reads the variable itself
# at link time, so the value seen here is put into the link command: the
# build's environment cannot change it behind the configure step's back, and
# a new value relinks.
if(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    set(VT_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
    if(NOT VT_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$" OR VT_SOURCE_DATE_EPOCH GREATER 4294967295)
        message(FATAL_ERROR "SOURCE_DATE_EPOCH must be a whole number of seconds that fits the PE time "
                            "stamp (0 to 4294967295), not \"${VT_SOURCE_DATE_EPOCH}\".")
    endif()
    add_link_options(-Wl,--insert-timestamp)
    foreach(lang C CXX)
        set(CMAKE_${lang}_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${VT_SOURCE_DATE_EPOCH})
    endforeach()
else()
    add_link_options(-Wl,--no-insert-timestamp)
endif()

# Paths: __FILE__ and debug information name sources relative to the tree and
# generated files relative to "build/" (the later, more specific mapping wins).
# Given to the link as well, where link-time optimisation compiles again.
set(vt_prefix_maps -ffile-prefix-map=${CMAKE_SOURCE_DIR}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}/=build/)
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:${vt_prefix_maps}>")
add_link_options(${vt_prefix_maps})

# Nothing else varies: the resource compiler writes no time stamps into the
# resource directory, the payload archive records neither file times nor
# modes and always lists the application first, and wimlib's LZMS compressor
# is deterministic. TZ, umask and the user name reach no output.
