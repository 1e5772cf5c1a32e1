# The maker's web server for tests: a ctest fixture runs tls_update_server.py (TLS with
# test authorities, a tunnelling proxy, slow bodies, 404s) around every test that says
# lumaspire_uses_tls_update_server(<test>); tests/common/TlsTestSupport.h reads it.
set(LUMASPIRE_TLS_SERVER ${CMAKE_CURRENT_LIST_DIR}/tls_update_server.py)
# TlsTestSupport.cpp finds this folder beside bin/.
set(LUMASPIRE_TLS_STATE ${CMAKE_BINARY_DIR}/tls-update-server)

add_test(NAME tls_update_server_start
         COMMAND python3 ${LUMASPIRE_TLS_SERVER} start --state ${LUMASPIRE_TLS_STATE})
set_tests_properties(tls_update_server_start PROPERTIES FIXTURES_SETUP tls_update_server)
add_test(NAME tls_update_server_stop
         COMMAND python3 ${LUMASPIRE_TLS_SERVER} stop --state ${LUMASPIRE_TLS_STATE})
set_tests_properties(tls_update_server_stop PROPERTIES FIXTURES_CLEANUP tls_update_server)

# One such test at a time: they publish their files in the one server's folder.
function(lumaspire_uses_tls_update_server test)
  set_tests_properties(${test} PROPERTIES FIXTURES_REQUIRED tls_update_server RESOURCE_LOCK tls_update_server)
endfunction()

add_library(tlstestsupport STATIC ${CMAKE_CURRENT_LIST_DIR}/TlsTestSupport.cpp)
target_link_libraries(tlstestsupport PUBLIC testsupport crypt32 advapi32)

lumaspire_test(tls_update_server_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TlsUpdateServerTest.cpp
  LIBS tlstestsupport wininet)
lumaspire_uses_tls_update_server(tls_update_server_tests)
