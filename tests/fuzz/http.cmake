# HTTP message parsers: any bytes as a request head, an answer head or a date
# must never crash them or read out of bounds.
add_fuzz_target(NAME url_request SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/url_request_fuzz.cpp LIBS http)
add_fuzz_target(NAME url_answer SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/url_answer_fuzz.cpp LIBS http)
add_fuzz_target(NAME gmt_date SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/gmt_date_fuzz.cpp LIBS http)
add_fuzz_target(NAME connect_request SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/connect_request_fuzz.cpp LIBS http)
