# Turns one scdoc manual page into roff: cmake -DSCDOC=... -DINPUT=... -DOUTPUT=... -P scdoc.cmake
# (scdoc reads standard input and writes standard output; a script keeps the redirections
# out of the generator's shell quoting).
execute_process(COMMAND ${SCDOC} INPUT_FILE ${INPUT} OUTPUT_FILE ${OUTPUT}.tmp
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE ${OUTPUT}.tmp)
  message(FATAL_ERROR "scdoc failed on ${INPUT}")
endif()
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
