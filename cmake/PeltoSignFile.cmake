# Signs one program in place with osslsigncode (SHA-256 Authenticode) and verifies the
# signature before the program is replaced:
#   cmake -DOSSLSIGNCODE=osslsigncode -DCERT=chain.pem -DKEY=key.pem -DFILE=x.exe
#         [-DPASSWORD_FILE=pass.txt] [-DTIMESTAMP_URL=url] [-DDESCRIPTION=text]
#         [-DPKCS11_MODULE=module.so [-DPKCS11_ENGINE=pkcs11.so]]
#         [-DVERIFY_CAFILE=roots.pem] [-DVERIFY_TSA_CAFILE=roots.pem]
#         -P PeltoSignFile.cmake
# With PKCS11_MODULE, KEY is the key's PKCS#11 URI on the token.
foreach(required OSSLSIGNCODE CERT KEY FILE)
    if(NOT ${required})
        message(FATAL_ERROR "PeltoSignFile.cmake: ${required} is required")
    endif()
endforeach()
set(arguments sign -h sha256 -certs ${CERT} -key ${KEY})
if(PKCS11_MODULE)
    list(APPEND arguments -pkcs11module ${PKCS11_MODULE})
    if(PKCS11_ENGINE)
        list(APPEND arguments -pkcs11engine ${PKCS11_ENGINE})
    endif()
endif()
if(PASSWORD_FILE)
    list(APPEND arguments -readpass ${PASSWORD_FILE})
endif()
if(DESCRIPTION)
    list(APPEND arguments -n ${DESCRIPTION})
endif()
if(TIMESTAMP_URL)
    list(APPEND arguments -ts ${TIMESTAMP_URL})
endif()
# osslsigncode writes a new file; it replaces the program only when signing succeeded and
# the signature verifies.
set(signed ${FILE}.signed)
file(REMOVE ${signed})
execute_process(COMMAND ${OSSLSIGNCODE} ${arguments} -in ${FILE} -out ${signed}
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    file(REMOVE ${signed})
    message(FATAL_ERROR "signing ${FILE} failed (${result})")
endif()

# The signature over the file's digest, the chain up to a trusted root and, when there is
# one, the time stamp.
set(verify verify -in ${signed})
if(VERIFY_CAFILE)
    list(APPEND verify -CAfile ${VERIFY_CAFILE})
endif()
if(VERIFY_TSA_CAFILE)
    list(APPEND verify -TSA-CAfile ${VERIFY_TSA_CAFILE})
elseif(VERIFY_CAFILE)
    list(APPEND verify -TSA-CAfile ${VERIFY_CAFILE})
endif()
execute_process(COMMAND ${OSSLSIGNCODE} ${verify} RESULT_VARIABLE result
                OUTPUT_VARIABLE report ERROR_VARIABLE report)
if(NOT result EQUAL 0)
    file(REMOVE ${signed})
    message(FATAL_ERROR "signature not verified (${result}), the program is left unsigned: "
                        "${FILE}\n${report}")
endif()
if(TIMESTAMP_URL AND NOT report MATCHES "Timestamp Server Signature verification: ok")
    file(REMOVE ${signed})
    message(FATAL_ERROR "signature not time-stamped by ${TIMESTAMP_URL}: ${FILE}")
endif()
file(RENAME ${signed} ${FILE})
