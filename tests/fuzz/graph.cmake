# Graph files: the line reader of LoadGraphFile, then layout and relaxation.
add_fuzz_target(NAME graph_file SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/graph_file_fuzz.cpp LIBS viewercore)
