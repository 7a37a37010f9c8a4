# Fuzz targets of the foundation library.
add_fuzz_target(NAME object_source SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/object_source_fuzz.cpp LIBS foundation)
