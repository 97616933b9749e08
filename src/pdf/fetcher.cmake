# The renderer client: CPDFFetcher::MakePDF over the objects of pdf/ActivePDF.h.
add_library(tovrik_fetcher STATIC ${CMAKE_CURRENT_SOURCE_DIR}/CPDFFetcher.cpp)
target_include_directories(tovrik_fetcher PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tovrik_fetcher PUBLIC tovrik_platform)
