# Draws the page's first screen with the native simulator (the program's own first screen with the
# settings' defaults) and writes index.html from its template with that picture inlined (a data: URL:
# the first paint needs no request of its own), shown as an image until the program draws.
# The picture is recompressed by optipng (the same pixels, in about half the bytes).
#   cmake -DSIM=cadenzo-sim -DOPTIPNG=optipng -DTEMPLATE=index.html -DOUT=site/index.html -P first_screen.cmake
set(dir ${OUT}.first-screen)
file(REMOVE_RECURSE ${dir})
file(MAKE_DIRECTORY ${dir})
file(WRITE ${dir}/script "shot ${dir}/first.png\n")
execute_process(COMMAND ${SIM} --dir ${dir} ${dir}/script RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0 OR NOT EXISTS ${dir}/first.png)
  message(FATAL_ERROR "the simulator did not draw the first screen (${result})")
endif()
execute_process(COMMAND ${OPTIPNG} -quiet -o7 ${dir}/first.png RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "optipng failed (${result})")
endif()
execute_process(COMMAND base64 -w 0 ${dir}/first.png OUTPUT_VARIABLE FIRST_SCREEN_BASE64 RESULT_VARIABLE result)
file(REMOVE_RECURSE ${dir})
if(NOT result EQUAL 0)
  message(FATAL_ERROR "base64 failed (${result})")
endif()
set(FIRST_SCREEN "data:image/png;base64,${FIRST_SCREEN_BASE64}")
configure_file(${TEMPLATE} ${OUT} @ONLY)
