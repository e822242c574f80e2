file(REMOVE_RECURSE
  "CMakeFiles/serline_settings.dir/serline/line_settings.cpp.o"
  "CMakeFiles/serline_settings.dir/serline/line_settings.cpp.o.d"
  "libserline_settings.a"
  "libserline_settings.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/serline_settings.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
