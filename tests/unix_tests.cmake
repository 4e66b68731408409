# Terminals and the Unix ping window.
# Its own main: one QCoreApplication for every test, as the launcher has in norvex.
add_executable(launcher_test launcher_test.cpp)
target_link_libraries(launcher_test PRIVATE norvex_platform GTest::gtest)
gtest_discover_tests(launcher_test PROPERTIES ENVIRONMENT "${NORVEX_TEST_ENV}" DISCOVERY_TIMEOUT 60
                     DISCOVERY_MODE PRE_TEST)
target_compile_definitions(launcher_test PRIVATE NORVEX_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
  NORVEX_HELPER="$<TARGET_FILE:terminal-command>")
norvex_gtest(terminal_test norvex_platform)
norvex_gtest(holdopen_test norvex_platform)

# The Windows-only sources hold no Qt: compile them with mingw-w64 so they at least build.
find_program(MINGW_CXX x86_64-w64-mingw32-g++)
foreach(source winlaunch wincmdline winfile syserror winconsole)
  if(MINGW_CXX)
    add_test(NAME windows_compile_${source}
             COMMAND ${MINGW_CXX} -std=c++20 -Wall -Wextra -Werror -I${PROJECT_SOURCE_DIR}
                     -c ${PROJECT_SOURCE_DIR}/platform/win/${source}.cpp
                     -o ${CMAKE_CURRENT_BINARY_DIR}/${source}.obj)
  else()
    add_test(NAME windows_compile_${source}
             COMMAND ${CMAKE_COMMAND} -E echo "x86_64-w64-mingw32-g++ is not installed")
    set_tests_properties(windows_compile_${source} PROPERTIES WILL_FAIL ON)
  endif()
endforeach()

add_test(NAME package_install
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/package_test.sh ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR})
set_tests_properties(package_install PROPERTIES TIMEOUT 180)

# The program file's icon, version and manifest on Windows: the resource script must compile.
find_program(MINGW_WINDRES x86_64-w64-mingw32-windres)
if(MINGW_WINDRES)
  set(NORVEX_RC_NAME norvex)
  set(NORVEX_RC_DESCRIPTION "norvex")
  configure_file(${PROJECT_SOURCE_DIR}/resources/norvex.rc.in norvex.rc @ONLY)
  add_test(NAME windows_resource_compile
           COMMAND ${MINGW_WINDRES} ${CMAKE_CURRENT_BINARY_DIR}/norvex.rc
                   -o ${CMAKE_CURRENT_BINARY_DIR}/norvex_rc.o)
endif()
