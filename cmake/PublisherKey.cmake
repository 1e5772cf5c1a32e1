# Writes OUT: the maker's code-signing public key that the update check requires of an
# installer's Authenticode signer, from CERT (the certificate in PEM), or an empty key
# when CERT is empty (no publisher is required). The key is the bit string of the
# certificate's public key information, which is that structure's last element. Run at
# build time: cmake -P with -DCERT= -DOUT= -DOPENSSL=.
cmake_minimum_required(VERSION 3.21)
get_filename_component(dir "${OUT}" DIRECTORY)
file(MAKE_DIRECTORY "${dir}")
set(header "/* Made by the build (cmake/PublisherKey.cmake). */\n")
if(NOT CERT)
  file(WRITE "${OUT}" "${header}const unsigned char kPublisherKey[1] = { 0 };\nconst unsigned int kPublisherKeySize = 0;\n")
  return()
endif()
set(der "${dir}/publisher-spki.der")
execute_process(COMMAND "${OPENSSL}" x509 -in "${CERT}" -noout -pubkey
                COMMAND "${OPENSSL}" pkey -pubin -outform DER -out "${der}"
                RESULT_VARIABLE failed)
execute_process(COMMAND "${OPENSSL}" asn1parse -inform DER -in "${der}" OUTPUT_VARIABLE parsed RESULT_VARIABLE failed2)
if(failed OR failed2 OR NOT parsed MATCHES "l= *([0-9]+) prim: BIT STRING[ \n]*$")
  message(FATAL_ERROR "${CERT} is no certificate in PEM with a public key")
endif()
# The bit string's content without its first byte (the count of unused bits, 0).
math(EXPR keySize "${CMAKE_MATCH_1} - 1")
file(READ "${der}" hex HEX)
file(REMOVE "${der}")
string(LENGTH "${hex}" length)
math(EXPR start "${length} - 2 * ${keySize}")
string(SUBSTRING "${hex}" ${start} -1 key)
string(REGEX REPLACE "(..)" "0x\\1," key "${key}")
file(WRITE "${OUT}" "${header}/* ${CERT} */\nconst unsigned char kPublisherKey[${keySize}] = {\n    ${key}\n};\n"
     "const unsigned int kPublisherKeySize = ${keySize};\n")
