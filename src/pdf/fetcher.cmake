# Placeholder until it has sources.
add_library(tovrik_fetcher INTERFACE)
target_include_directories(tovrik_fetcher INTERFACE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tovrik_fetcher INTERFACE tovrik_platform)
