# Runs paprel on golden_input.txt and compares the page with a SHA-256
# computed once by page_model.py, a model of the page written apart from the
# encoder. Called by CTest with PAPREL, INPUT and WORK_DIR set.
set(expected "ad9877e68e33752d6324f5e127f9348883d7fdb4caeffe3530ebae4ddd20e3d4")

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
execute_process(COMMAND ${PAPREL} ${INPUT} golden WORKING_DIRECTORY ${WORK_DIR}
                RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR NOT errors STREQUAL "")
  message(FATAL_ERROR "paprel failed (${status}): ${errors}")
endif()
if(EXISTS ${WORK_DIR}/golden_0002.pgm)
  message(FATAL_ERROR "a second page was written")
endif()
file(SHA256 ${WORK_DIR}/golden_0001.pgm actual)
file(REMOVE_RECURSE ${WORK_DIR})
if(NOT actual STREQUAL expected)
  message(FATAL_ERROR "page hash ${actual}, expected ${expected}")
endif()
