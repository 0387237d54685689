# qk_add_plugin(NAME <deliverable> SOURCES ... LIBS ...)
# A deliverable: a MODULE library without the "lib" prefix in build/plugins, whose
# only dynamic symbol is DllGetClassObject (a version script on Linux, a module
# definition file on Windows, where the DLL is linked statically).
function(qk_add_plugin)
  cmake_parse_arguments(P "" "NAME" "SOURCES;LIBS" ${ARGN})
  if(WIN32)
    add_library(${P_NAME} MODULE ${P_SOURCES} ${PROJECT_SOURCE_DIR}/cmake/plugin.def)
  else()
    add_library(${P_NAME} MODULE ${P_SOURCES})
  endif()
  target_link_libraries(${P_NAME} PRIVATE ${P_LIBS})
  set_target_properties(${P_NAME} PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${QK_PLUGIN_DIR})
  if(NOT WIN32)
    target_link_options(${P_NAME} PRIVATE
      -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/plugin.map -Wl,-z,defs)
    set_property(TARGET ${P_NAME} APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/plugin.map)
  endif()
endfunction()

# qk_add_gtest(NAME <exe> LABEL <unit|integration|e2e> [concurrency] SOURCES ... LIBS ... [DEPENDS ...])
# Tests also labelled "concurrency" run a second time under ThreadSanitizer.
# One GoogleTest executable whose cases become CTest tests with the label.
function(qk_add_gtest)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "LABEL;SOURCES;LIBS;DEPENDS" ${ARGN})
  if(WIN32)
    # Its own entry point there: see tests/support/win32_test_main.cpp.
    add_executable(${T_NAME} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/win32_test_main.cpp)
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
  else()
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  endif()
  target_compile_definitions(${T_NAME} PRIVATE
    QK_PLUGIN_DIR="${QK_PLUGIN_DIR}" QK_SOURCE_DIR="${PROJECT_SOURCE_DIR}" QK_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
  if(T_DEPENDS)
    add_dependencies(${T_NAME} ${T_DEPENDS})
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST TEST_LIST ${T_NAME}_CASES
    PROPERTIES TIMEOUT ${T_TIMEOUT})
  # The discovered cases exist only when CTest runs, and a list of labels does not
  # survive the trip through gtest_discover_tests' PROPERTIES, so the labels are
  # set by a small script that CTest includes after the discovery.
  # End-to-end cases share the one X server of the test script, whose keyboard
  # focus is global: they take turns, while the other tests run beside them.
  set(lock "")
  if("e2e" IN_LIST T_LABEL)
    set(lock " RESOURCE_LOCK display")
  endif()
  set(label_script ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_labels.cmake)
  file(WRITE ${label_script}
    "if(DEFINED ${T_NAME}_CASES)\n  set_tests_properties(\${${T_NAME}_CASES} PROPERTIES LABELS \"${T_LABEL}\" ENVIRONMENT \"LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0\"${lock})\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${label_script})
endfunction()
