# Placeholder until it has sources.
add_library(tovrik_pdfwrappers INTERFACE)
target_include_directories(tovrik_pdfwrappers INTERFACE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tovrik_pdfwrappers INTERFACE tovrik_platform)
