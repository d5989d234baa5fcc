# mdl함수: folder removal, the settings files of the program folder, profile writes;
# The copies of the settings files kept before they are deleted; the run's
# private folders.
add_library(pelto_functions STATIC ${CMAKE_CURRENT_LIST_DIR}/mdl_functions.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settings_backup.cpp
    ${CMAKE_CURRENT_LIST_DIR}/private_folders.cpp)
target_link_libraries(pelto_functions PUBLIC pelto_platform)
