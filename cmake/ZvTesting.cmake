# Test helpers. Every test program runs inside the device sandbox (tools/sandbox), so the device's
# paths (/tmp, /var/run, /mnt/nand, ...) are scratch directories private to that test program.
set(ZV_SANDBOX ${PROJECT_SOURCE_DIR}/tools/sandbox)

# A cross build (cmake/toolchain-armhf.cmake) runs its test programs on the host under the
# user-mode emulator. The kernel cannot start the build's programs by itself either, so the harness
# (tests/support) puts the same emulator in front of every program of the target's architecture
# that a test starts; ZV_TEST_EMULATOR tells it which one.
set(ZV_TEST_LAUNCHER "")
set(ZV_TEST_ENVIRONMENT "")
if(CMAKE_CROSSCOMPILING)
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    set(ZV_TEST_LAUNCHER ${CMAKE_CROSSCOMPILING_EMULATOR})
    list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " emulator_text)
    set(ZV_TEST_ENVIRONMENT "ZV_TEST_EMULATOR=${emulator_text}")
  else()
    message(WARNING "cross build without CMAKE_CROSSCOMPILING_EMULATOR: the tests build but cannot run")
  endif()
endif()

# The tests CI runs of the ARM build (make cross-check; the whole set takes too long on CI's two
# cores): label "cross-check", built by the target cross_check. Besides the record layouts
# (tests/layout), programs that cover the socket library, the database, and webreq at request level
# and end to end behind lighttpd.
set(ZV_CROSS_CHECK_TESTS zvsocket_test front_request_test system_requests_test e2e_test)
add_custom_target(cross_check)

# zv_add_gtest(NAME src... [LIBS lib...] [NAND_SIZE bytes] [PARTS part filter ...] [LABELS l...]):
# a GoogleTest program run in its own sandbox; NAND_SIZE gives it a flash (/mnt/nand) of that many
# bytes that it can fill; PARTS splits a long program into ctest entries NAME_<part>, each running
# the tests its GoogleTest filter names, side by side and each in a sandbox of its own.
#
# Test sources compile at -O0: what they exercise is the product's libraries, built as the build
# type says; optimising the tests' own code took half of their compile time.
function(zv_add_gtest name)
  cmake_parse_arguments(ARG "" "NAND_SIZE" "LIBS;PARTS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE zv_options zv_test_support ${ARG_LIBS} GTest::gtest_main GTest::gmock)
  target_precompile_headers(${name} REUSE_FROM zv_test_pch)
  target_compile_options(${name} PRIVATE -O0)
  # GCC 12 loses the system-header status of the standard library's headers inside a precompiled
  # header, so its false array-bounds and stringop-overflow reports about std::string's copies
  # (bug 105651, fixed in GCC 13) reach the tests. The product code keeps both warnings; the
  # sanitizer build checks the tests' bounds at run time.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${name} PRIVATE -Wno-array-bounds -Wno-stringop-overflow)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  set(sandbox_options "")
  if(ARG_NAND_SIZE)
    set(sandbox_options --nand-size ${ARG_NAND_SIZE})
  endif()
  set(entries ${name})
  set(filters "")
  if(ARG_PARTS)
    set(entries "")
    list(LENGTH ARG_PARTS count)
    math(EXPR last "${count} - 1")
    foreach(i RANGE 0 ${last} 2)
      math(EXPR j "${i} + 1")
      list(GET ARG_PARTS ${i} part)
      list(GET ARG_PARTS ${j} filter)
      list(APPEND entries ${name}_${part})
      list(APPEND filters "--gtest_filter=${filter}")
    endforeach()
  endif()
  set(labels ${ARG_LABELS})
  if(name IN_LIST ZV_CROSS_CHECK_TESTS)
    list(APPEND labels cross-check)
  endif()
  set(index 0)
  foreach(entry IN LISTS entries)
    set(arguments "")
    if(filters)
      list(GET filters ${index} arguments)
      math(EXPR index "${index} + 1")
    endif()
    add_test(NAME ${entry} COMMAND ${ZV_SANDBOX} ${sandbox_options} -- ${ZV_TEST_LAUNCHER} $<TARGET_FILE:${name}> ${arguments})
    set_tests_properties(${entry} PROPERTIES TIMEOUT 600)
    if(ZV_TEST_ENVIRONMENT)
      set_tests_properties(${entry} PROPERTIES ENVIRONMENT "${ZV_TEST_ENVIRONMENT}")
    endif()
    if(labels)
      set_tests_properties(${entry} PROPERTIES LABELS "${labels}")
    endif()
  endforeach()
  if(name IN_LIST ZV_CROSS_CHECK_TESTS)
    add_dependencies(cross_check ${name})
  endif()
endfunction()
