# The worker's wrappers of libpdfmisc (page count, merge, footers), the footer parameters
# record and cPDF_File_Information.
add_library(tovrik_pdfwrappers STATIC
  ${CMAKE_CURRENT_LIST_DIR}/PdfMisc.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PdfMiscLibrary.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FooterParameters.cpp
)
target_include_directories(tovrik_pdfwrappers PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tovrik_pdfwrappers PUBLIC pdfmisc tovrik_platform)
