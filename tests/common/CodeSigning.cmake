# A throwaway code-signing certificate (self-signed, in the build tree) for the tests'
# Authenticode signatures and the release command's test run; no one's real certificate.
find_program(OSSLSIGNCODE osslsigncode REQUIRED)
set(LUMASPIRE_TEST_CERT_DIR ${CMAKE_BINARY_DIR}/codesign)
add_custom_command(OUTPUT ${LUMASPIRE_TEST_CERT_DIR}/cert.pem ${LUMASPIRE_TEST_CERT_DIR}/key.pem
  COMMAND ${CMAKE_COMMAND} -E make_directory ${LUMASPIRE_TEST_CERT_DIR}
  # The key first and quietly: req's own key generation prints a line of progress dots.
  COMMAND ${OPENSSL} genpkey -quiet -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out ${LUMASPIRE_TEST_CERT_DIR}/key.pem
  COMMAND ${OPENSSL} req -x509 -key ${LUMASPIRE_TEST_CERT_DIR}/key.pem -days 3650 -subj "/CN=Tollvane Test Publisher"
          -addext extendedKeyUsage=codeSigning -out ${LUMASPIRE_TEST_CERT_DIR}/cert.pem
  VERBATIM)
# Another publisher's, which no build of ours names, under the same name: its signatures
# must be refused where a build requires the maker's key.
add_custom_command(OUTPUT ${LUMASPIRE_TEST_CERT_DIR}/other-cert.pem ${LUMASPIRE_TEST_CERT_DIR}/other-key.pem
  COMMAND ${CMAKE_COMMAND} -E make_directory ${LUMASPIRE_TEST_CERT_DIR}
  COMMAND ${OPENSSL} genpkey -quiet -algorithm RSA -pkeyopt rsa_keygen_bits:2048
          -out ${LUMASPIRE_TEST_CERT_DIR}/other-key.pem
  COMMAND ${OPENSSL} req -x509 -key ${LUMASPIRE_TEST_CERT_DIR}/other-key.pem -days 3650
          -subj "/CN=Tollvane Test Publisher" -addext extendedKeyUsage=codeSigning
          -out ${LUMASPIRE_TEST_CERT_DIR}/other-cert.pem
  VERBATIM)
add_custom_target(test_code_signing_cert DEPENDS ${LUMASPIRE_TEST_CERT_DIR}/cert.pem
                  ${LUMASPIRE_TEST_CERT_DIR}/other-cert.pem)
