# Authenticode signing of the Windows programs with osslsigncode (Debian package
# osslsigncode), off unless a certificate is given at configure time:
#   -DPELTO_SIGN_CERT=chain.pem -DPELTO_SIGN_KEY=key.pem
#   [-DPELTO_SIGN_PASSWORD_FILE=pass.txt] -DPELTO_SIGN_TIMESTAMP_URL=http://...
#   [-DPELTO_SIGN_VERIFY_CAFILE=roots.pem] [-DPELTO_SIGN_VERIFY_TSA_CAFILE=roots.pem]
# With the key on a hardware token (PKCS#11), PELTO_SIGN_KEY is the key's PKCS#11 URI and
#   -DPELTO_SIGN_PKCS11_MODULE=/usr/lib/.../token-pkcs11.so [-DPELTO_SIGN_PKCS11_ENGINE=...]
# name the token's module (and OpenSSL's pkcs11 engine, libengine-pkcs11-openssl).
# Every program given to pelto_sign_windows_program() is then signed (SHA-256) right
# after it is linked, time-stamped, and the signature verified (cmake/PeltoSignFile.cmake).
# A release build (CMAKE_BUILD_TYPE Release: the windows-x86 preset) is not signed without
# a time stamp: an untime-stamped signature ends with the certificate, and Windows then
# names an unknown publisher.
set(PELTO_SIGN_CERT "" CACHE FILEPATH
    "Code-signing certificate (PEM or DER), with its chain up to the authority")
set(PELTO_SIGN_KEY "" CACHE STRING
    "Private key of the code-signing certificate: a file, or a PKCS#11 URI on a token")
set(PELTO_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the key's password or the token's PIN")
set(PELTO_SIGN_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 time-stamping service (required for a release)")
set(PELTO_SIGN_PKCS11_MODULE "" CACHE FILEPATH "PKCS#11 module of the token holding the key")
set(PELTO_SIGN_PKCS11_ENGINE "" CACHE FILEPATH
    "OpenSSL's PKCS#11 engine (optional: osslsigncode's default otherwise)")
set(PELTO_SIGN_VERIFY_CAFILE "" CACHE FILEPATH
    "Roots the signature is verified against (default: the system's CA bundle)")
set(PELTO_SIGN_VERIFY_TSA_CAFILE "" CACHE FILEPATH
    "Roots the time stamp is verified against (default: PELTO_SIGN_VERIFY_CAFILE)")

if(WIN32 AND (PELTO_SIGN_CERT OR PELTO_SIGN_KEY))
    if(NOT PELTO_SIGN_CERT OR NOT PELTO_SIGN_KEY)
        message(FATAL_ERROR "signing needs both PELTO_SIGN_CERT and PELTO_SIGN_KEY")
    endif()
    if(CMAKE_BUILD_TYPE STREQUAL "Release" AND NOT PELTO_SIGN_TIMESTAMP_URL)
        message(FATAL_ERROR
            "a release is signed with a time stamp: set PELTO_SIGN_TIMESTAMP_URL to the "
            "certification authority's RFC 3161 service (without one the signature ends "
            "with the certificate, and Windows then names an unknown publisher)")
    endif()
    set(files PELTO_SIGN_CERT PELTO_SIGN_PASSWORD_FILE PELTO_SIGN_PKCS11_MODULE
        PELTO_SIGN_PKCS11_ENGINE PELTO_SIGN_VERIFY_CAFILE PELTO_SIGN_VERIFY_TSA_CAFILE)
    if(NOT PELTO_SIGN_PKCS11_MODULE)
        list(APPEND files PELTO_SIGN_KEY)
    elseif(NOT PELTO_SIGN_KEY MATCHES "^pkcs11:")
        message(FATAL_ERROR "with PELTO_SIGN_PKCS11_MODULE, PELTO_SIGN_KEY is the key's "
                            "PKCS#11 URI (pkcs11:...), not ${PELTO_SIGN_KEY}")
    endif()
    foreach(file ${files})
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
            -DPKCS11_MODULE=${PELTO_SIGN_PKCS11_MODULE}
            -DPKCS11_ENGINE=${PELTO_SIGN_PKCS11_ENGINE}
            -DVERIFY_CAFILE=${PELTO_SIGN_VERIFY_CAFILE}
            -DVERIFY_TSA_CAFILE=${PELTO_SIGN_VERIFY_TSA_CAFILE}
            -DDESCRIPTION=${S_DESCRIPTION}
            -DFILE=$<TARGET_FILE:${target}>
            -P ${PROJECT_SOURCE_DIR}/cmake/PeltoSignFile.cmake
        COMMENT "Signing and verifying $<TARGET_FILE_NAME:${target}>"
        VERBATIM)
endfunction()
