# Windows test programs run under Wine, each as one CTest test (a Wine process per test
# case would cost more than the cases themselves), in a Wine prefix of the build's own
# that the first test makes.
find_program(CHROMALANE_WINE NAMES wine wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
set(CHROMALANE_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
set(CHROMALANE_WINE_RUN ${CMAKE_COMMAND} -E env WINEPREFIX=${CHROMALANE_WINE_PREFIX}
  WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= ${CHROMALANE_WINE})
if(CHROMALANE_WINE)
  add_test(NAME wine_prefix
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/windows/wine_prefix.sh ${CHROMALANE_WINE}
      ${CHROMALANE_WINE_PREFIX})
  set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine)
else()
  message(STATUS "Wine not found: the Windows test programs are built but not run")
endif()

function(chromalane_windows_test name)
  if(NOT CHROMALANE_WINE)
    return()
  endif()
  add_test(NAME ${name} COMMAND ${CHROMALANE_WINE_RUN} $<TARGET_FILE:${name}> --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600)
endfunction()
