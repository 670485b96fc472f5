# Test harness: GoogleTest built from Debian's sources with the cross
# compiler, test executables run under Wine by CTest. A setup fixture creates
# and starts the build tree's own prefix with a persistent wineserver, a
# cleanup fixture ends that server.

set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(t gtest gtest_main gmock gmock_main)
  if(TARGET ${t})
    target_compile_options(${t} PRIVATE -w)
  endif()
endforeach()

add_test(NAME wine_prefix_start
         COMMAND ${CMAKE_SOURCE_DIR}/scripts/wineprefix.sh start ${LARK_WINEPREFIX} ${LARK_ARCH} ${CMAKE_BINARY_DIR})
set_tests_properties(wine_prefix_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 180)
add_test(NAME wine_prefix_stop
         COMMAND ${CMAKE_SOURCE_DIR}/scripts/wineprefix.sh stop ${LARK_WINEPREFIX} ${LARK_ARCH})
set_tests_properties(wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)

# lark_add_test(NAME name SOURCES a.cpp ... [LIBS lib ...] [ARGS arg ...] [TIMEOUT s] [GUI])
# Builds a GoogleTest executable and registers it as one CTest test that runs
# under Wine. Test code finds the source and build trees through the
# environment variables LARK_SOURCE_DIR and LARK_BINARY_DIR (Unix paths; see
# testsupport/TestEnv.h for the Windows forms).
function(lark_add_test)
  cmake_parse_arguments(T "GUI" "NAME;TIMEOUT" "SOURCES;LIBS;DEPENDS;LABELS;ARGS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} lark_testsupport gmock gtest_main)
  if(T_DEPENDS)
    add_dependencies(${T_NAME} ${T_DEPENDS})
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} ${T_ARGS})
  set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
