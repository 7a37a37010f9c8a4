# Setup-file reader: arbitrary bytes must never crash it.
add_fuzz_target(NAME setup_file SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/setup_file_fuzz.cpp LIBS foundation)
