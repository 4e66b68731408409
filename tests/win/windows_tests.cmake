# Tests that only mean something on Windows, run under Wine (see scripts/test-windows.sh).

# Stands in for ping.exe and records how norvex started it.
add_executable(fakeping win/fakeping.cpp)
target_link_options(fakeping PRIVATE -municode)

# norvex.exe driven from outside through Win32 alone.
add_executable(e2e_test win/e2e_test.cpp)
target_link_libraries(e2e_test PRIVATE GTest::gtest GTest::gtest_main)
target_include_directories(e2e_test PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(e2e_test PRIVATE _WIN32_WINNT=0x0A00 WINVER=0x0A00)
add_dependencies(e2e_test norvex fakeping)
configure_file(${PROJECT_SOURCE_DIR}/examples/norvex.nvx example.nvx COPYONLY)
# One at a time: they swap the system's ping.exe and click real windows.
gtest_discover_tests(e2e_test DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                     PROPERTIES RUN_SERIAL TRUE TIMEOUT 300
                                ENVIRONMENT "WINEDLLOVERRIDES=ping.exe=n")

# norvex-check.exe says exactly what the Linux norvex-check says of every list in the suite.
if(NORVEX_NATIVE_CHECK)
  add_test(NAME norvex_check_matches_linux
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/win/check_same.sh ${NORVEX_NATIVE_CHECK}
                   $<TARGET_FILE:norvex-check> ${PROJECT_SOURCE_DIR})
  set_tests_properties(norvex_check_matches_linux PROPERTIES TIMEOUT 600)
else()
  add_test(NAME norvex_check_matches_linux
           COMMAND ${CMAKE_COMMAND} -E echo "NORVEX_NATIVE_CHECK names no Linux norvex-check")
  set_tests_properties(norvex_check_matches_linux PROPERTIES WILL_FAIL ON)
endif()
