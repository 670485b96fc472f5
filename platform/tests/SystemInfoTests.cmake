# Tests of SystemInfo, included from platform/CMakeLists.txt.
lark_add_test(NAME platform_system_info_test SOURCES tests/SystemInfo_test.cpp LIBS lark_platform)
# Switches the prefix's Windows version (machine-wide state) and restores it,
# so nothing may run beside it.
add_executable(platform_system_info_probe tests/SystemInfoProbe.cpp)
target_link_libraries(platform_system_info_probe PRIVATE lark_platform)
lark_add_test(NAME platform_system_info_version_test SOURCES tests/SystemInfoVersion_test.cpp
              LIBS lark_platform DEPENDS platform_system_info_probe)
set_tests_properties(platform_system_info_version_test PROPERTIES RUN_SERIAL TRUE)
