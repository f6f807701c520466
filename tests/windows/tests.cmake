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

# The Windows plug-in's render of a frame against the Linux plug-in's, both made on this
# machine: the Linux programs come from the native build next to this one, which
# `scripts/test.sh windows` makes first; without it the test is skipped.
set(CHROMALANE_NATIVE_BUILD ${PROJECT_SOURCE_DIR}/build/default CACHE PATH
  "Native build whose render_frame and plug-in the Windows render is compared with")
function(chromalane_windows_render_comparison program plugin)
  if(NOT CHROMALANE_WINE)
    return()
  endif()
  add_test(NAME windows_render_matches_linux
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/windows/compare_renders.sh
      ${CHROMALANE_NATIVE_BUILD} $<TARGET_FILE:${program}> $<TARGET_FILE:${plugin}>
      ${CMAKE_CURRENT_BINARY_DIR}/renders ${CHROMALANE_WINE_RUN})
  set_tests_properties(windows_render_matches_linux PROPERTIES FIXTURES_REQUIRED wine
    SKIP_RETURN_CODE 77 TIMEOUT 600)
endfunction()
