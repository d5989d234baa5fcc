# mdl시작 (the installation run) and the program PeltoUserInstall_H.

foreach(address_var PELTO_CENTRAL_SERVER_1 PELTO_CENTRAL_SERVER_2)
    if(NOT ${address_var} MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
        message(FATAL_ERROR "${address_var} must be an IPv4 address in dotted form, not '${${address_var}}'")
    endif()
endforeach()

add_library(pelto_sequence STATIC
    ${CMAKE_CURRENT_LIST_DIR}/arguments.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mdl_start.cpp
    ${CMAKE_CURRENT_LIST_DIR}/plan.cpp
    ${CMAKE_CURRENT_LIST_DIR}/restore.cpp
    ${CMAKE_CURRENT_LIST_DIR}/run.cpp
    ${CMAKE_CURRENT_LIST_DIR}/run_session.cpp
    ${CMAKE_CURRENT_LIST_DIR}/silent_ui.cpp)
target_include_directories(pelto_sequence PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(pelto_sequence PRIVATE
    PELTO_CENTRAL_SERVER_1="${PELTO_CENTRAL_SERVER_1}"
    PELTO_CENTRAL_SERVER_2="${PELTO_CENTRAL_SERVER_2}")
target_link_libraries(pelto_sequence PUBLIC
    pelto_forms pelto_functions pelto_registry pelto_db pelto_cipher pelto_platform_overlay
    pelto_platform pelto_core)

add_executable(PeltoUserInstall_H ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(PeltoUserInstall_H PRIVATE pelto_sequence pelto_platform_impl)
if(WIN32)
    # The program's first instruction limits where libraries come from, before the C
    # runtime and every static initializer (platform/win32/program_entry.cpp). The link
    # map lets the Windows stage check that the entry point is that function.
    target_sources(PeltoUserInstall_H PRIVATE
        ${PROJECT_SOURCE_DIR}/platform/win32/program_entry.cpp)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(entry _pelto_program_entry) # 32-bit C names carry a leading underscore
    else()
        set(entry pelto_program_entry)
    endif()
    target_link_options(PeltoUserInstall_H PRIVATE -Wl,-e,${entry}
        -Wl,-Map,$<TARGET_FILE_DIR:PeltoUserInstall_H>/PeltoUserInstall_H.map)
endif()
pelto_add_windows_resources(PeltoUserInstall_H DESCRIPTION "PeltoUserInstall_H" GUI)
include(GNUInstallDirs)
install(TARGETS PeltoUserInstall_H RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
