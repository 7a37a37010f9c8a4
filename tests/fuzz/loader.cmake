# Site loader: the HTML scanner together with address resolution.
add_fuzz_target(NAME scan_page SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/scan_page_fuzz.cpp LIBS viewercore)
