# Prints the installer's size after it is built: it must stay small.
cmake_minimum_required(VERSION 3.21)
file(SIZE "${FILE}" bytes)
math(EXPR kib "(${bytes} + 1023) / 1024")
get_filename_component(name "${FILE}" NAME)
message(STATUS "${name}: ${bytes} bytes (${kib} KB)")
