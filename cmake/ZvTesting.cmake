# Test helpers. Every test program runs inside the device sandbox (tools/sandbox), so the device's
# paths (/tmp, /var/run, /mnt/nand, ...) are scratch directories private to that test program.
set(ZV_SANDBOX ${PROJECT_SOURCE_DIR}/tools/sandbox)

# zv_add_gtest(NAME src... [LIBS lib...]): a GoogleTest program run in its own sandbox.
function(zv_add_gtest name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE zv_options zv_test_support ${ARG_LIBS} GTest::gtest_main GTest::gmock)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${ZV_SANDBOX} -- $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endfunction()
