# Authenticode signing of the Windows programs with osslsigncode (Debian package
# osslsigncode), off unless a certificate and key are given at configure time:
#   -DPELTO_SIGN_CERT=cert.pem -DPELTO_SIGN_KEY=key.pem
#   [-DPELTO_SIGN_PASSWORD_FILE=pass.txt] [-DPELTO_SIGN_TIMESTAMP_URL=http://...]
# Every program given to pelto_sign_windows_program() is then signed (SHA-256) right
# after it is linked. cmake/PeltoSignFile.cmake does the signing of one file.
set(PELTO_SIGN_CERT "" CACHE FILEPATH "Code-signing certificate (PEM or DER), with its chain")
set(PELTO_SIGN_KEY "" CACHE FILEPATH "Private key of the code-signing certificate")
set(PELTO_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the key's password (optional)")
set(PELTO_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamping service (optional)")

if(WIN32 AND (PELTO_SIGN_CERT OR PELTO_SIGN_KEY))
    if(NOT PELTO_SIGN_CERT OR NOT PELTO_SIGN_KEY)
        message(FATAL_ERROR "signing needs both PELTO_SIGN_CERT and PELTO_SIGN_KEY")
    endif()
    foreach(file PELTO_SIGN_CERT PELTO_SIGN_KEY PELTO_SIGN_PASSWORD_FILE)
        if(${file} AND NOT EXISTS ${${file}})
            message(FATAL_ERROR "${file}: ${${file}} does not exist")
        endif()
    endforeach()
    find_program(PELTO_OSSLSIGNCODE osslsigncode REQUIRED)
endif()

# pelto_sign_windows_program(<target> DESCRIPTION <text>)
function(pelto_sign_windows_program target)
    if(NOT WIN32 OR NOT PELTO_SIGN_CERT)
        return()
    endif()
    cmake_parse_arguments(S "" "DESCRIPTION" "" ${ARGN})
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND}
            -DOSSLSIGNCODE=${PELTO_OSSLSIGNCODE}
            -DCERT=${PELTO_SIGN_CERT} -DKEY=${PELTO_SIGN_KEY}
            -DPASSWORD_FILE=${PELTO_SIGN_PASSWORD_FILE}
            -DTIMESTAMP_URL=${PELTO_SIGN_TIMESTAMP_URL}
            -DDESCRIPTION=${S_DESCRIPTION}
            -DFILE=$<TARGET_FILE:${target}>
            -P ${PROJECT_SOURCE_DIR}/cmake/PeltoSignFile.cmake
        COMMENT "Signing $<TARGET_FILE_NAME:${target}>"
        VERBATIM)
endfunction()
