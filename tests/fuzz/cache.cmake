# Proxy cache: the cachedb reader and the cache file reader must survive any bytes.
add_fuzz_target(NAME cachedb SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/cachedb_fuzz.cpp LIBS proxycore)
add_fuzz_target(NAME cache_file SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/cache_file_fuzz.cpp LIBS proxycore)
