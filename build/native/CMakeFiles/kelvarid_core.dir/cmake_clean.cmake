file(REMOVE_RECURSE
  "CMakeFiles/kelvarid_core.dir/keepalive/form1_keepalive.cpp.o"
  "CMakeFiles/kelvarid_core.dir/keepalive/form1_keepalive.cpp.o.d"
  "CMakeFiles/kelvarid_core.dir/serial/library_path.cpp.o"
  "CMakeFiles/kelvarid_core.dir/serial/library_path.cpp.o.d"
  "CMakeFiles/kelvarid_core.dir/window/form1_commands.cpp.o"
  "CMakeFiles/kelvarid_core.dir/window/form1_commands.cpp.o.d"
  "CMakeFiles/kelvarid_core.dir/window/form1_events.cpp.o"
  "CMakeFiles/kelvarid_core.dir/window/form1_events.cpp.o.d"
  "libkelvarid_core.a"
  "libkelvarid_core.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/kelvarid_core.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
