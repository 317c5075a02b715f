# Windows tests run under Wine with a private prefix inside the build tree. A CTest fixture
# starts a persistent wineserver (and a private Xvfb display when none is set) before the
# tests and stops them afterwards; every test runs through tools/wine-exec.sh.
set(WINE_SESSION ${PROJECT_SOURCE_DIR}/tools/wine-session.sh)
set(WINE_EXEC ${PROJECT_SOURCE_DIR}/tools/wine-exec.sh)
set(WINE_STATE_DIR ${CMAKE_BINARY_DIR}/wine)

add_test(NAME wine_session_start COMMAND ${WINE_SESSION} start ${WINE_STATE_DIR})
set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine)
add_test(NAME wine_session_stop COMMAND ${WINE_SESSION} stop ${WINE_STATE_DIR})
set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine)

function(add_wine_test name)
  add_test(NAME ${name} COMMAND ${WINE_EXEC} ${WINE_STATE_DIR} $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine RUN_SERIAL TRUE TIMEOUT 300)
endfunction()
