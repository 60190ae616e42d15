# Draws the page's first screen with the native simulator (the program's own first screen with the
# settings' defaults), shown as an image until the program draws in the canvas.
#   cmake -DSIM=cadenzo-sim -DOUT=first-screen.png -P first_screen.cmake
set(dir ${OUT}.dir)
file(REMOVE_RECURSE ${dir})
file(MAKE_DIRECTORY ${dir})
file(WRITE ${dir}/script "shot ${OUT}\n")
execute_process(COMMAND ${SIM} --dir ${dir} ${dir}/script RESULT_VARIABLE result OUTPUT_QUIET)
file(REMOVE_RECURSE ${dir})
if(NOT result EQUAL 0 OR NOT EXISTS ${OUT})
  message(FATAL_ERROR "the simulator did not draw the first screen (${result})")
endif()
