# Optional Authenticode signing, SHA-256 digests; off until a certificate or
# a signing command is named. The build signs the application before it
# packs it, so that the installed copy carries its own signature, and then
# the setup program around that payload. A signature is appended to the file (and named
# in the PE's certificate directory): the resources, the payload among them,
# stay where they are.
#
# Three ways to sign: a PKCS#12 file or a PEM chain and key file; a PEM chain
# whose key stays in a token, an HSM or a key service, reached through its
# PKCS#11 module (the key is named by a PKCS#11 URI); or the maker's own
# signing command. A password or PIN is read from its file at build time:
# it enters neither the cache nor a command line.
set(VT_SIGN_CERTIFICATE "" CACHE FILEPATH
    "Authenticode certificate: a PKCS#12 file (certificate and key), or a PEM chain with VT_SIGN_KEY; empty: no signing")
# A string: cmake -D would make a URI absolute as it does file paths.
set(VT_SIGN_KEY "" CACHE STRING
    "Private key of a PEM VT_SIGN_CERTIFICATE: a PEM or DER file, or a PKCS#11 URI (pkcs11:...) with VT_SIGN_PKCS11_MODULE")
set(VT_SIGN_PKCS11_MODULE "" CACHE FILEPATH "PKCS#11 module of the token or service that holds a pkcs11: VT_SIGN_KEY")
set(VT_SIGN_PASSWORD_FILE "" CACHE FILEPATH
    "File whose first line is the password of the PKCS#12 file or of the key, or the token's PIN (it stays out of the cache)")
set(VT_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server for the signatures (empty: none)")
set(VT_SIGN_COMMAND "" CACHE STRING
    "Your own signing command, instead of VT_SIGN_CERTIFICATE: run with the file to sign as its last argument, signs it in place")

set(VT_SIGN OFF)
if(VT_SIGN_COMMAND OR VT_SIGN_CERTIFICATE)
    find_program(VT_OSSLSIGNCODE osslsigncode)
    if(NOT VT_OSSLSIGNCODE)
        message(FATAL_ERROR "Signing is on but osslsigncode is not installed (tools/deps.sh installs it).")
    endif()
    set(VT_SIGN ON)
    set(vt_sign_command sh ${CMAKE_SOURCE_DIR}/cmake/sign.sh)
    set(vt_sign_inputs ${CMAKE_SOURCE_DIR}/cmake/sign.sh)
endif()

if(VT_SIGN_COMMAND)
    # The command signs by itself: settings it would not use are a mistake
    # to report, not to drop silently (which key signed a release must be clear).
    set(vt_unused)
    foreach(var VT_SIGN_CERTIFICATE VT_SIGN_KEY VT_SIGN_PKCS11_MODULE VT_SIGN_PASSWORD_FILE VT_SIGN_TIMESTAMP_URL)
        if(${var})
            list(APPEND vt_unused -D${var}=)
        endif()
    endforeach()
    if(vt_unused)
        list(JOIN vt_unused " " vt_unused)
        message(FATAL_ERROR "VT_SIGN_COMMAND signs by itself, time stamp included; the settings for signing with "
                            "osslsigncode are then not used: clear them (${vt_unused}).")
    endif()
    separate_arguments(vt_program UNIX_COMMAND "${VT_SIGN_COMMAND}")
    list(GET vt_program 0 vt_program)
    if(vt_program MATCHES "/")
        get_filename_component(vt_program_path "${vt_program}" ABSOLUTE BASE_DIR ${CMAKE_BINARY_DIR})
    else()
        find_program(vt_program_path "${vt_program}" NO_CACHE)
    endif()
    if(NOT vt_program_path OR NOT EXISTS "${vt_program_path}")
        message(FATAL_ERROR "VT_SIGN_COMMAND: no such program: ${vt_program}")
    endif()
    string(REPLACE ";" "$<SEMICOLON>" vt_command "${VT_SIGN_COMMAND}")
    list(APPEND vt_sign_command --command "${vt_command}")
    list(APPEND vt_sign_inputs ${vt_program_path})
elseif(VT_SIGN_CERTIFICATE)
    set(vt_files VT_SIGN_CERTIFICATE VT_SIGN_PKCS11_MODULE VT_SIGN_PASSWORD_FILE)
    if(VT_SIGN_KEY MATCHES "^pkcs11:")
        if(NOT VT_SIGN_PKCS11_MODULE)
            message(FATAL_ERROR "VT_SIGN_KEY is a PKCS#11 URI: name the PKCS#11 module of its token with "
                                "VT_SIGN_PKCS11_MODULE (SoftHSM2's is /usr/lib/softhsm/libsofthsm2.so).")
        endif()
        # A URI's semicolons would split it as a list: they stay as generator expressions.
        string(REPLACE ";" "$<SEMICOLON>" vt_key "${VT_SIGN_KEY}")
        list(APPEND vt_sign_command --key ${vt_key} --pkcs11-module ${VT_SIGN_PKCS11_MODULE})
    elseif(VT_SIGN_PKCS11_MODULE)
        message(FATAL_ERROR "VT_SIGN_PKCS11_MODULE is set, but VT_SIGN_KEY is not a PKCS#11 URI (pkcs11:...).")
    elseif(VT_SIGN_KEY)
        # Relative to the source tree, where the presets are run.
        get_filename_component(vt_key "${VT_SIGN_KEY}" ABSOLUTE BASE_DIR ${CMAKE_SOURCE_DIR})
        if(NOT EXISTS "${vt_key}")
            message(FATAL_ERROR "VT_SIGN_KEY: no such file: ${vt_key}")
        endif()
        list(APPEND vt_sign_command --key ${vt_key})
        list(APPEND vt_sign_inputs ${vt_key})
    endif()
    foreach(var ${vt_files})
        if(${var} AND NOT EXISTS "${${var}}")
            message(FATAL_ERROR "${var}: no such file: ${${var}}")
        endif()
        list(APPEND vt_sign_inputs ${${var}})
    endforeach()
    list(APPEND vt_sign_command --certificate ${VT_SIGN_CERTIFICATE})
    if(VT_SIGN_PASSWORD_FILE)
        list(APPEND vt_sign_command --password-file ${VT_SIGN_PASSWORD_FILE})
    endif()
    if(VT_SIGN_TIMESTAMP_URL)
        list(APPEND vt_sign_command --timestamp-url ${VT_SIGN_TIMESTAMP_URL})
    endif()
endif()

# Writes a signed copy of `input` to `output` (further arguments: what the
# input is built by). An input that already carries a signature (an
# application its maker signed) is copied as it is: its signature is not
# replaced by ours.
function(vt_sign_copy input output description)
    add_custom_command(OUTPUT ${output}
        COMMAND ${vt_sign_command} --keep-signed ${VT_OSSLSIGNCODE} ${description} ${input} ${output}
        DEPENDS ${input} ${ARGN} ${vt_sign_inputs}
        COMMENT "Signing ${output}"
        VERBATIM)
endfunction()

# Signs the target's file in place after every link.
function(vt_sign_target target description)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${vt_sign_command} ${VT_OSSLSIGNCODE} ${description} $<TARGET_FILE:${target}>
                $<TARGET_FILE:${target}>
        COMMENT "Signing $<TARGET_FILE_NAME:${target}>"
        VERBATIM)
endfunction()
