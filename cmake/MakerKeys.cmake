# Writes OUT_DIR/MakerKeys.c, the maker's two Ed25519 public keys (current, then next)
# that the update check accepts, from KEYS: two PEM public-key files. Without KEYS it
# makes a throwaway pair for each in OUT_DIR first (current.pem, next.pem, their .pub.pem,
# and .der of the private keys for the tests), so a build of the repository's commands and
# its tests never needs the maker's secret. Run at build time: cmake -P with these -D.
cmake_minimum_required(VERSION 3.21)
file(MAKE_DIRECTORY "${OUT_DIR}")
if(NOT KEYS)
  foreach(name current next)
    set(key "${OUT_DIR}/${name}.pem")
    if(NOT EXISTS "${key}")
      execute_process(COMMAND "${OPENSSL}" genpkey -algorithm ed25519 -out "${key}" COMMAND_ERROR_IS_FATAL ANY)
    endif()
    execute_process(COMMAND "${OPENSSL}" pkey -in "${key}" -pubout -out "${OUT_DIR}/${name}.pub.pem"
                    COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND "${OPENSSL}" pkey -in "${key}" -outform DER -out "${OUT_DIR}/${name}.der"
                    COMMAND_ERROR_IS_FATAL ANY)
    list(APPEND KEYS "${OUT_DIR}/${name}.pub.pem")
  endforeach()
endif()
list(LENGTH KEYS count)
if(NOT count EQUAL 2)
  message(FATAL_ERROR "LUMASPIRE_UPDATE_PUBLIC_KEYS names ${count} files: give two, the current and the next key")
endif()

set(rows "")
foreach(pem IN LISTS KEYS)
  set(der "${OUT_DIR}/public.der")
  execute_process(COMMAND "${OPENSSL}" pkey -pubin -in "${pem}" -outform DER -out "${der}"
                  RESULT_VARIABLE failed)
  file(READ "${der}" hex HEX)
  file(REMOVE "${der}")
  string(LENGTH "${hex}" length)
  # An Ed25519 public key's DER is 12 bytes of algorithm header and the 32-byte key.
  if(failed OR NOT length EQUAL 88 OR NOT hex MATCHES "^302a300506032b6570032100")
    message(FATAL_ERROR "${pem} is not an Ed25519 public key in PEM")
  endif()
  string(SUBSTRING "${hex}" 24 64 key)
  string(REGEX REPLACE "(..)" "0x\\1," key "${key}")
  string(APPEND rows "    { ${key} },  /* ${pem} */\n")
endforeach()
file(WRITE "${OUT_DIR}/MakerKeys.c"
     "/* Made by the build (cmake/MakerKeys.cmake): the maker's public keys, current and next. */\n"
     "const unsigned char kMakerUpdateKeys[2][32] = {\n${rows}};\n")
