# Tests of the fetcher part of src/pdf: MakePDF against recording fakes, through the real
# client objects against a fake print server, and against a real print server with Chromium.
tovrik_add_test(NAME fetcher_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fetcher_test.cpp
  LIBS tovrik_fetcher LABELS unit)
tovrik_add_test(NAME fetcher_client_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fetcher_client_test.cpp
  LIBS tovrik_fetcher tovrik_printserver PkgConfig::HTTPLIB nlohmann_json::nlohmann_json
  LABELS unit)
tovrik_add_test(NAME fetcher_print_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fetcher_print_test.cpp
  LIBS tovrik_fetcher tovrik_printserver_testing LABELS integration TIMEOUT 600)
