# check_layering(TARGET <lib> FOLDER <folder> [ALLOWED <folders...>])
# Fails the build of <lib> when a file in <folder> includes a project header
# from a folder that is neither <folder> itself nor one of ALLOWED. The
# libraries form layers this way, so an include cycle between them cannot
# creep in unnoticed. NO_QT additionally refuses any Qt header.
function(check_layering)
  cmake_parse_arguments(L "NO_QT" "TARGET;FOLDER" "ALLOWED" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/${L_FOLDER}/*.h ${PROJECT_SOURCE_DIR}/${L_FOLDER}/*.cpp)
  string(MAKE_C_IDENTIFIER ${L_FOLDER} name)
  string(REPLACE ";" "," allowed "${L_ALLOWED}")
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/layering_${name}.stamp)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DFOLDER=${L_FOLDER} -DALLOWED=${allowed} -DNO_QT=${L_NO_QT}
            -DROOT=${PROJECT_SOURCE_DIR} -DSTAMP=${stamp}
            -P ${PROJECT_SOURCE_DIR}/cmake/CheckLayering.cmake
    DEPENDS ${sources} ${PROJECT_SOURCE_DIR}/cmake/CheckLayering.cmake
    COMMENT "Checking the includes of ${L_FOLDER}")
  add_custom_target(layering_${name} DEPENDS ${stamp})
  add_dependencies(${L_TARGET} layering_${name})
endfunction()
