# Writes the simulator's help (its scenario commands, one form a line) as a
# C++ raw string for the playground's guard: cmake -DSIM=... -DOUT=... -P.
execute_process(COMMAND ${SIM} help OUTPUT_VARIABLE help RESULT_VARIABLE status ERROR_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${SIM} help failed (${status})")
endif()
file(WRITE ${OUT}.new "R\"FORMS(${help})FORMS\"\n")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${OUT}.new ${OUT})
file(REMOVE ${OUT}.new)
