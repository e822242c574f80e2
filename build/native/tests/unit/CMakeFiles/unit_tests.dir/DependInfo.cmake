
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/main/tests/unit/form1_layout_test.cpp" "tests/unit/CMakeFiles/unit_tests.dir/form1_layout_test.cpp.o" "gcc" "tests/unit/CMakeFiles/unit_tests.dir/form1_layout_test.cpp.o.d"
  "/work/main/tests/unit/keepalive_test.cpp" "tests/unit/CMakeFiles/unit_tests.dir/keepalive_test.cpp.o" "gcc" "tests/unit/CMakeFiles/unit_tests.dir/keepalive_test.cpp.o.d"
  "/work/main/tests/unit/library_path_test.cpp" "tests/unit/CMakeFiles/unit_tests.dir/library_path_test.cpp.o" "gcc" "tests/unit/CMakeFiles/unit_tests.dir/library_path_test.cpp.o.d"
  "/work/main/tests/unit/line_settings_test.cpp" "tests/unit/CMakeFiles/unit_tests.dir/line_settings_test.cpp.o" "gcc" "tests/unit/CMakeFiles/unit_tests.dir/line_settings_test.cpp.o.d"
  "/work/main/tests/unit/window_commands_test.cpp" "tests/unit/CMakeFiles/unit_tests.dir/window_commands_test.cpp.o" "gcc" "tests/unit/CMakeFiles/unit_tests.dir/window_commands_test.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/main/build/native/CMakeFiles/kelvarid_core.dir/DependInfo.cmake"
  "/work/main/build/native/CMakeFiles/serline_settings.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
