# What guests ask of the durable store (their songs, their favourites), in catalogue terms.
add_library(vocalis_guests STATIC ${CMAKE_CURRENT_LIST_DIR}/guest_records.cpp)
target_include_directories(vocalis_guests PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(vocalis_guests PUBLIC vocalis_store vocalis_catalogue vocalis_base)
