# pelto_add_windows_resources(<target> DESCRIPTION <text>
#                             [EXECUTION_LEVEL requireAdministrator|asInvoker]
#                             [GUI])
#
# Gives a Windows program its manifest (the execution level, Common Controls 6, DPI
# awareness, UTF-8 not assumed), a version resource and the icon, marks it terminal-server
# aware and signs it when signing is set up (cmake/PeltoSigning.cmake). GUI makes it a
# Windows (not console) program. Does nothing on other systems, so callers need no WIN32 test.
function(pelto_add_windows_resources target)
    if(NOT WIN32)
        return()
    endif()
    cmake_parse_arguments(R "GUI" "DESCRIPTION;EXECUTION_LEVEL" "" ${ARGN})
    if(NOT R_DESCRIPTION)
        message(FATAL_ERROR "pelto_add_windows_resources(${target}): DESCRIPTION is required")
    endif()
    if(NOT R_EXECUTION_LEVEL)
        set(R_EXECUTION_LEVEL requireAdministrator)
    endif()
    if(NOT R_EXECUTION_LEVEL MATCHES "^(requireAdministrator|highestAvailable|asInvoker)$")
        message(FATAL_ERROR "pelto_add_windows_resources(${target}): unknown EXECUTION_LEVEL "
                            "${R_EXECUTION_LEVEL}")
    endif()
    if(NOT TARGET pelto_windows_art)
        message(FATAL_ERROR "pelto_add_windows_resources(${target}): call it after "
                            "add_subdirectory(platform)")
    endif()

    get_target_property(output_name ${target} OUTPUT_NAME)
    if(NOT output_name)
        set(output_name ${target})
    endif()

    # Values for the templates.
    set(PELTO_RC_NAME ${output_name})
    set(PELTO_RC_DESCRIPTION "${R_DESCRIPTION}")
    set(PELTO_RC_EXECUTION_LEVEL ${R_EXECUTION_LEVEL})
    set(PELTO_RC_VERSION_COMMAS
        "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
    set(PELTO_RC_VERSION_TEXT
        "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
    if(CMAKE_SYSTEM_PROCESSOR MATCHES "64")
        set(PELTO_RC_ARCHITECTURE amd64)
    else()
        set(PELTO_RC_ARCHITECTURE x86)
    endif()
    set(PELTO_RC_ICON ${PELTO_ART_DIR}/pelto.ico)
    set(PELTO_RC_IDS ${PROJECT_SOURCE_DIR}/platform/win32/resources/resource_ids.h)

    set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources)
    set(PELTO_RC_MANIFEST ${dir}/${output_name}.exe.manifest)
    configure_file(${PELTO_WINDOWS_TEMPLATES}/program.manifest.in ${PELTO_RC_MANIFEST} @ONLY)
    configure_file(${PELTO_WINDOWS_TEMPLATES}/program.rc.in ${dir}/${output_name}.rc @ONLY)

    target_sources(${target} PRIVATE ${dir}/${output_name}.rc)
    set_source_files_properties(${dir}/${output_name}.rc PROPERTIES
        OBJECT_DEPENDS "${PELTO_RC_ICON};${PELTO_RC_MANIFEST}")
    add_dependencies(${target} pelto_windows_art)
    if(R_GUI)
        set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE TRUE)
    endif()
    # Terminal-server aware: on a Remote Desktop server Windows gives the program the
    # real system folders and registry instead of per-user copies.
    target_link_options(${target} PRIVATE -Wl,--tsaware)
    # Signed right after linking when a certificate was given (cmake/PeltoSigning.cmake).
    pelto_sign_windows_program(${target} DESCRIPTION "${R_DESCRIPTION}")
endfunction()

set(PELTO_WINDOWS_TEMPLATES ${CMAKE_CURRENT_LIST_DIR}/../platform/win32/resources)
include(${CMAKE_CURRENT_LIST_DIR}/PeltoSigning.cmake)
# Resource scripts are compiled wherever a program calls the function above, so the
# language is enabled here, in the scope that includes this file (the top level).
if(WIN32)
    enable_language(RC)
endif()
