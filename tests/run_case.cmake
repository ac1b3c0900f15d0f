# Runs one end-to-end case; see tests/CMakeLists.txt. Where NAME.extended.out
# exists, the case is run again with --extended and its stdout must equal
# that file (and NAME.extended.status, 0 when absent).
file(MAKE_DIRECTORY ${WORK_DIR})
set(actual ${WORK_DIR}/${NAME}.stdout)
set(actual_err ${WORK_DIR}/${NAME}.stderr)
execute_process(COMMAND ${TOOL} ${NAME}.lst
                WORKING_DIRECTORY ${CASE_DIR}
                OUTPUT_FILE ${actual} ERROR_FILE ${actual_err}
                RESULT_VARIABLE status TIMEOUT 60)
set(expected_status 0)
if(EXISTS ${CASE_DIR}/${NAME}.status)
  file(STRINGS ${CASE_DIR}/${NAME}.status expected_status LIMIT_COUNT 1)
endif()
set(failed FALSE)
if(NOT "${status}" STREQUAL "${expected_status}")
  message(SEND_ERROR "${NAME}: status ${status}, expected ${expected_status}")
  set(failed TRUE)
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${actual} ${CASE_DIR}/${NAME}.out
                RESULT_VARIABLE differs)
if(differs)
  message(SEND_ERROR "${NAME}: stdout differs from ${NAME}.out (actual in ${actual})")
  set(failed TRUE)
endif()
if(EXISTS ${CASE_DIR}/${NAME}.err)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${actual_err} ${CASE_DIR}/${NAME}.err
                  RESULT_VARIABLE err_differs)
  if(err_differs)
    file(READ ${actual_err} err_text)
    message(SEND_ERROR "${NAME}: stderr differs from ${NAME}.err; it was:\n${err_text}")
    set(failed TRUE)
  endif()
endif()
if(failed)
  file(READ ${actual} out_text)
  message(FATAL_ERROR "${NAME}: stdout was:\n${out_text}")
endif()

if(EXISTS ${CASE_DIR}/${NAME}.extended.out)
  set(actual_ext ${WORK_DIR}/${NAME}.extended.stdout)
  execute_process(COMMAND ${TOOL} --extended ${NAME}.lst
                  WORKING_DIRECTORY ${CASE_DIR}
                  OUTPUT_FILE ${actual_ext} ERROR_QUIET
                  RESULT_VARIABLE status TIMEOUT 60)
  set(expected_status 0)
  if(EXISTS ${CASE_DIR}/${NAME}.extended.status)
    file(STRINGS ${CASE_DIR}/${NAME}.extended.status expected_status LIMIT_COUNT 1)
  endif()
  if(NOT "${status}" STREQUAL "${expected_status}")
    message(FATAL_ERROR "${NAME}: --extended status ${status}, expected ${expected_status}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${actual_ext}
                          ${CASE_DIR}/${NAME}.extended.out
                  RESULT_VARIABLE differs)
  if(differs)
    file(READ ${actual_ext} out_text)
    message(FATAL_ERROR "${NAME}: --extended stdout differs from ${NAME}.extended.out; it was:\n${out_text}")
  endif()
endif()
