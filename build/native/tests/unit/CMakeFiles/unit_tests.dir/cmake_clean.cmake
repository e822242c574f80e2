file(REMOVE_RECURSE
  "CMakeFiles/unit_tests.dir/form1_layout_test.cpp.o"
  "CMakeFiles/unit_tests.dir/form1_layout_test.cpp.o.d"
  "CMakeFiles/unit_tests.dir/keepalive_test.cpp.o"
  "CMakeFiles/unit_tests.dir/keepalive_test.cpp.o.d"
  "CMakeFiles/unit_tests.dir/library_path_test.cpp.o"
  "CMakeFiles/unit_tests.dir/library_path_test.cpp.o.d"
  "CMakeFiles/unit_tests.dir/line_settings_test.cpp.o"
  "CMakeFiles/unit_tests.dir/line_settings_test.cpp.o.d"
  "CMakeFiles/unit_tests.dir/window_commands_test.cpp.o"
  "CMakeFiles/unit_tests.dir/window_commands_test.cpp.o.d"
  "unit_tests"
  "unit_tests.pdb"
  "unit_tests[1]_tests.cmake"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/unit_tests.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
