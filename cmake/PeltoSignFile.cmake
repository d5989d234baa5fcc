# Signs one program in place with osslsigncode (SHA-256 Authenticode):
#   cmake -DOSSLSIGNCODE=osslsigncode -DCERT=cert.pem -DKEY=key.pem -DFILE=x.exe
#         [-DPASSWORD_FILE=pass.txt] [-DTIMESTAMP_URL=url] [-DDESCRIPTION=text]
#         -P PeltoSignFile.cmake
foreach(required OSSLSIGNCODE CERT KEY FILE)
    if(NOT ${required})
        message(FATAL_ERROR "PeltoSignFile.cmake: ${required} is required")
    endif()
endforeach()
set(arguments sign -h sha256 -certs ${CERT} -key ${KEY})
if(PASSWORD_FILE)
    list(APPEND arguments -readpass ${PASSWORD_FILE})
endif()
if(DESCRIPTION)
    list(APPEND arguments -n ${DESCRIPTION})
endif()
if(TIMESTAMP_URL)
    list(APPEND arguments -ts ${TIMESTAMP_URL})
endif()
# osslsigncode writes a new file; it replaces the program only when signing succeeded.
set(signed ${FILE}.signed)
file(REMOVE ${signed})
execute_process(COMMAND ${OSSLSIGNCODE} ${arguments} -in ${FILE} -out ${signed}
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    file(REMOVE ${signed})
    message(FATAL_ERROR "signing ${FILE} failed (${result})")
endif()
file(RENAME ${signed} ${FILE})
