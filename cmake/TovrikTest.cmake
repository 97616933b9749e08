# tovrik_add_test(NAME name SOURCES a.cpp ... LIBS lib ... [LABELS unit|integration|e2e] [TIMEOUT s])
# One GoogleTest executable registered with ctest. Label "unit" runs in the sanitizer leg too;
# "integration" and "e2e" (real Chromium, servers) run in the main leg only.
function(tovrik_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "TOVRIK_BINARY_DIR=${PROJECT_BINARY_DIR};TOVRIK_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
