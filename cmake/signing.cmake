# Optional Authenticode signing with osslsigncode, SHA-256 digests; off until
# a certificate is named. The build signs the application before it packs it,
# so that the installed copy carries its own signature, and then the setup
# program around that payload. A signature is appended to the file (and named
# in the PE's certificate directory): the resources, the payload among them,
# stay where they are.
set(VT_SIGN_CERTIFICATE "" CACHE FILEPATH
    "Authenticode certificate: a PKCS#12 file (certificate and key), or a PEM chain with VT_SIGN_KEY; empty: no signing")
set(VT_SIGN_KEY "" CACHE FILEPATH "Private key (PEM or DER) of a PEM VT_SIGN_CERTIFICATE")
set(VT_SIGN_PASSWORD_FILE "" CACHE FILEPATH
    "File whose first line is the password of the PKCS#12 file or of the key (the password stays out of the cache)")
set(VT_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server for the signatures (empty: none)")

set(VT_SIGN OFF)
if(VT_SIGN_CERTIFICATE)
    find_program(VT_OSSLSIGNCODE osslsigncode)
    if(NOT VT_OSSLSIGNCODE)
        message(FATAL_ERROR "VT_SIGN_CERTIFICATE is set but osslsigncode is not installed (tools/deps.sh installs it).")
    endif()
    foreach(var VT_SIGN_CERTIFICATE VT_SIGN_KEY VT_SIGN_PASSWORD_FILE)
        if(${var} AND NOT EXISTS "${${var}}")
            message(FATAL_ERROR "${var}: no such file: ${${var}}")
        endif()
    endforeach()
    set(VT_SIGN ON)
    set(vt_sign_command sh ${CMAKE_SOURCE_DIR}/cmake/sign.sh)
    if(VT_SIGN_KEY)
        list(APPEND vt_sign_command --key ${VT_SIGN_KEY})
    endif()
    if(VT_SIGN_PASSWORD_FILE)
        list(APPEND vt_sign_command --password-file ${VT_SIGN_PASSWORD_FILE})
    endif()
    if(VT_SIGN_TIMESTAMP_URL)
        list(APPEND vt_sign_command --timestamp-url ${VT_SIGN_TIMESTAMP_URL})
    endif()
    set(vt_sign_inputs ${CMAKE_SOURCE_DIR}/cmake/sign.sh ${VT_SIGN_CERTIFICATE} ${VT_SIGN_KEY} ${VT_SIGN_PASSWORD_FILE})
endif()

# Writes a signed copy of `input` to `output` (further arguments: what the
# input is built by). An input that already carries a signature (an
# application its maker signed) is copied as it is: its signature is not
# replaced by ours.
function(vt_sign_copy input output description)
    add_custom_command(OUTPUT ${output}
        COMMAND ${vt_sign_command} --keep-signed ${VT_OSSLSIGNCODE} ${VT_SIGN_CERTIFICATE} ${description} ${input} ${output}
        DEPENDS ${input} ${ARGN} ${vt_sign_inputs}
        COMMENT "Signing ${output}"
        VERBATIM)
endfunction()

# Signs the target's file in place after every link.
function(vt_sign_target target description)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${vt_sign_command} ${VT_OSSLSIGNCODE} ${VT_SIGN_CERTIFICATE} ${description} $<TARGET_FILE:${target}>
                $<TARGET_FILE:${target}>
        COMMENT "Signing $<TARGET_FILE_NAME:${target}>"
        VERBATIM)
endfunction()
