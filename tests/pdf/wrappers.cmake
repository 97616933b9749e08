# Tests of the wrappers part of src/pdf.
tovrik_add_test(NAME pdf_wrappers_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/wrappers_test.cpp
  LIBS tovrik_pdfwrappers pdfmisc_testfiles LABELS unit)
