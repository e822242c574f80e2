
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/main/keepalive/form1_keepalive.cpp" "CMakeFiles/kelvarid_core.dir/keepalive/form1_keepalive.cpp.o" "gcc" "CMakeFiles/kelvarid_core.dir/keepalive/form1_keepalive.cpp.o.d"
  "/work/main/serial/library_path.cpp" "CMakeFiles/kelvarid_core.dir/serial/library_path.cpp.o" "gcc" "CMakeFiles/kelvarid_core.dir/serial/library_path.cpp.o.d"
  "/work/main/window/form1_commands.cpp" "CMakeFiles/kelvarid_core.dir/window/form1_commands.cpp.o" "gcc" "CMakeFiles/kelvarid_core.dir/window/form1_commands.cpp.o.d"
  "/work/main/window/form1_events.cpp" "CMakeFiles/kelvarid_core.dir/window/form1_events.cpp.o" "gcc" "CMakeFiles/kelvarid_core.dir/window/form1_events.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
