# Run by ctest as it starts (a TEST_INCLUDE_FILES script, one per test program): asks the test
# program under Wine which tests it holds (--gtest_list_tests) and adds one ctest entry per
# test. The list is kept beside the program and asked for again only once the program has been
# built anew. Tests of a suite named Slow... are labelled slow instead of the program's label,
# and run in the slow group's prefix.
#
# Set by the caller: WINE_TESTS_PROGRAM, WINE_TESTS_FILTER (a --gtest_filter, or empty),
# WINE_TESTS_LABEL, WINE_TESTS_TIMEOUT, WINE_TESTS_PREFIX (the Wine prefix), WINE_TESTS_RUN
# (wine-run), WINE_TESTS_CMAKE (cmake, for its env) and WINE_TESTS_LIST (the kept list).

if(NOT EXISTS "${WINE_TESTS_LIST}" OR "${WINE_TESTS_PROGRAM}" IS_NEWER_THAN "${WINE_TESTS_LIST}")
  set(filter)
  if(WINE_TESTS_FILTER)
    set(filter "--gtest_filter=${WINE_TESTS_FILTER}")
  endif()
  execute_process(
    COMMAND "${WINE_TESTS_CMAKE}" -E env "WINEPREFIX=${WINE_TESTS_PREFIX}"
      "${WINE_TESTS_RUN}" "${WINE_TESTS_PROGRAM}" --gtest_list_tests ${filter}
    TIMEOUT 120
    OUTPUT_VARIABLE listing
    ERROR_VARIABLE problem
    RESULT_VARIABLE result)
  set(names)
  if(result EQUAL 0)
    # "Suite." lines, then "  Test" lines under each; Windows ends them with CR LF.
    string(REPLACE "\r" "" listing "${listing}")
    string(REPLACE "\n" ";" lines "${listing}")
    set(suite)
    foreach(line IN LISTS lines)
      if(line MATCHES "^([A-Za-z0-9_]+)\\.$")
        set(suite "${CMAKE_MATCH_1}")
      elseif(line MATCHES "^  ([A-Za-z0-9_]+)$" AND suite)
        list(APPEND names "${suite}.${CMAKE_MATCH_1}")
      endif()
    endforeach()
  endif()
  if(NOT names)
    # Not kept: the next ctest run asks again.
    get_filename_component(program "${WINE_TESTS_PROGRAM}" NAME_WE)
    add_test("wine.${program}.ListsItsTests" "${WINE_TESTS_CMAKE}" -E echo
      "${WINE_TESTS_PROGRAM} listed no tests (exit ${result}): ${problem}")
    set_tests_properties("wine.${program}.ListsItsTests" PROPERTIES
      LABELS "wine;${WINE_TESTS_LABEL}" WILL_FAIL TRUE)
    return()
  endif()
  file(WRITE "${WINE_TESTS_LIST}" "${names}")
endif()

file(READ "${WINE_TESTS_LIST}" names)
foreach(name IN LISTS names)
  set(label "${WINE_TESTS_LABEL}")
  set(prefix "${WINE_TESTS_PREFIX}")
  if(name MATCHES "^Slow")
    # As every test labelled slow, in the slow group's own prefix.
    set(label slow)
    set(prefix "${WINE_TESTS_PREFIX}-slow")
  endif()
  add_test("wine.${name}" "${WINE_TESTS_RUN}" "${WINE_TESTS_PROGRAM}" "--gtest_filter=${name}")
  set_tests_properties("wine.${name}" PROPERTIES
    LABELS "wine;${label}" RUN_SERIAL TRUE TIMEOUT "${WINE_TESTS_TIMEOUT}"
    ENVIRONMENT "WINEPREFIX=${prefix}")
endforeach()
