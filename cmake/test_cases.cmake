# Registers a GoogleTest executable with CTest one case at a time, each with
# its own timeout, so that ctest names every failing case and a case that
# hangs fails in seconds. A cross-compiled build runs its tests under an
# emulator, where starting the binary once per case costs too much: there
# each executable stays one CTest entry, with a timeout for the whole of it.
include(GoogleTest)

# slicery_add_test_cases(<name> <target> TIMEOUT <seconds per case>)
function(slicery_add_test_cases name target)
  cmake_parse_arguments(PARSE_ARGV 2 CASES "" "TIMEOUT" "")
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${target})
    set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  else()
    gtest_discover_tests(${target} TEST_PREFIX "${name}." DISCOVERY_TIMEOUT 30
                         PROPERTIES TIMEOUT ${CASES_TIMEOUT})
  endif()
endfunction()
