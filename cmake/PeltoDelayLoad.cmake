# pelto_delay_load_library(<name> PREFIX <function prefix>)
#
# Makes an IMPORTED GLOBAL library target <name> whose import library delay-loads
# <name>.dll: the program imports nothing from it at start, and mingw-w64's delay-load
# helper loads it when one of its functions is first called. A target link to "<name>"
# anywhere then takes this library instead of the toolchain's ordinary lib<name>.a.
# The functions are those of the toolchain's import library whose names begin with
# PREFIX (data exports cannot be delay-loaded). Sets PELTO_DELAY_LOAD_<name>_FUNCTIONS
# (cache, internal) to their undecorated names.
function(pelto_delay_load_library name)
    cmake_parse_arguments(D "" "PREFIX" "" ${ARGN})
    find_library(PELTO_${name}_IMPORT_LIBRARY NAMES lib${name}.a ${name}
                 DOC "The toolchain's import library of ${name}.dll")
    if(NOT PELTO_${name}_IMPORT_LIBRARY)
        message(FATAL_ERROR "lib${name}.a not found in the toolchain")
    endif()
    find_program(PELTO_DLLTOOL NAMES ${PELTO_MINGW_TRIPLET}-dlltool dlltool REQUIRED)
    find_program(PELTO_NM NAMES ${PELTO_MINGW_TRIPLET}-nm nm REQUIRED)
    execute_process(COMMAND ${PELTO_NM} ${PELTO_${name}_IMPORT_LIBRARY}
                    OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)

    # 32-bit names carry a leading underscore and the stdcall argument size ("@12").
    string(REGEX MATCHALL "__imp__?${D_PREFIX}[A-Za-z0-9_]*(@[0-9]+)?" imports "${symbols}")
    list(REMOVE_DUPLICATES imports)
    set(definitions "LIBRARY ${name}.dll\nEXPORTS\n")
    set(functions)
    foreach(import ${imports})
        string(REGEX REPLACE "^__imp__?" "" decorated "${import}")
        string(APPEND definitions "    ${decorated}\n")
        string(REGEX REPLACE "@[0-9]+$" "" plain "${decorated}")
        list(APPEND functions ${plain})
    endforeach()
    set(PELTO_DELAY_LOAD_${name}_FUNCTIONS "${functions}" CACHE INTERNAL "")

    set(dir ${CMAKE_BINARY_DIR}/delay-load)
    set(def ${dir}/${name}.def)
    set(lib ${dir}/lib${name}-delay.a)
    file(MAKE_DIRECTORY ${dir})
    file(WRITE ${def}.new "${definitions}")
    # Made again only when the functions change, so that a new configure run relinks
    # nothing.
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${def}.new ${def}
                    RESULT_VARIABLE changed OUTPUT_QUIET ERROR_QUIET)
    if(changed OR NOT EXISTS ${lib})
        file(RENAME ${def}.new ${def})
        # --kill-at: the library exports the undecorated names the 32-bit symbols stand for.
        execute_process(COMMAND ${PELTO_DLLTOOL} --kill-at --input-def ${def}
                                --dllname ${name}.dll --output-delaylib ${lib}
                        COMMAND_ERROR_IS_FATAL ANY)
    else()
        file(REMOVE ${def}.new)
    endif()
    add_library(${name} STATIC IMPORTED GLOBAL)
    set_target_properties(${name} PROPERTIES IMPORTED_LOCATION ${lib})
endfunction()
