# mdl함수: folder removal, the settings files of the program folder, profile writes.
add_library(pelto_functions STATIC ${CMAKE_CURRENT_LIST_DIR}/mdl_functions.cpp)
target_link_libraries(pelto_functions PUBLIC pelto_platform)
