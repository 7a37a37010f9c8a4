# Proxy server: the head assembler must take any bytes in any pieces.
add_fuzz_target(NAME head_assembler SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/head_assembler_fuzz.cpp LIBS proxycore)
# Proxy server: whatever a worker sends, the command server ends only that
# channel and leaves no lock behind.
add_fuzz_target(NAME command_server SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/command_server_fuzz.cpp LIBS proxycore)
