# Sanitizer switch for the asan preset; applies to everything built below.
option(PELTO_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(PELTO_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

# The fuzz preset instruments every library for coverage and checks memory and undefined
# behaviour in all of them: a fault in a reader the fuzz targets reach through the core
# or the platform is found as surely as one in the target itself.
if(PELTO_BUILD_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# GoogleTest from Debian's sources, built with our own flags (sanitizers, mingw).
macro(pelto_use_googletest)
    if(NOT TARGET gtest_main)
        set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
        set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
        if(WIN32)
            set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
        endif()
        # GoogleTest is not the project's code: its warnings do not fail the build.
        get_directory_property(pelto_options COMPILE_OPTIONS)
        set(pelto_third_party_options ${pelto_options})
        list(REMOVE_ITEM pelto_third_party_options -Werror)
        set_directory_properties(PROPERTIES COMPILE_OPTIONS "${pelto_third_party_options}")
        add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
        set_directory_properties(PROPERTIES COMPILE_OPTIONS "${pelto_options}")
        include(GoogleTest)
    endif()
endmacro()

# pelto_add_test(NAME name SOURCES ... LIBS ... [LABELS ...] [TEST_PREFIX prefix]): one
# GoogleTest executable run by CTest. TEST_PREFIX goes before each test's name, for the same
# bodies built a second time against another machine.
function(pelto_add_test)
    cmake_parse_arguments(T "" "NAME;TEST_PREFIX" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
    target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR})
    # A list of labels must reach the LABELS property as one value.
    string(REPLACE ";" "\\;" labels "${T_LABELS}")
    gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 TEST_PREFIX "${T_TEST_PREFIX}"
                         PROPERTIES LABELS "${labels}")
endfunction()
