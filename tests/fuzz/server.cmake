# Proxy server: the head assembler must take any bytes in any pieces.
add_fuzz_target(NAME head_assembler SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/head_assembler_fuzz.cpp LIBS proxycore)
