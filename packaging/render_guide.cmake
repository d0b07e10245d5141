# Renders the user's guide from Markdown into one HTML page beside its pictures.
# cmake -DCMARK=cmark-gfm -DIN=user-guide.md -DTEMPLATE=guide.html.in -DOUT=user-guide.html
#       -DVERSION=x.y.z -P render_guide.cmake
execute_process(COMMAND ${CMARK} --extension table --to html ${IN}
                OUTPUT_VARIABLE GUIDE_BODY RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${CMARK} could not render ${IN}")
endif()
set(GUIDE_VERSION ${VERSION})
configure_file(${TEMPLATE} ${OUT}.tmp @ONLY)
file(RENAME ${OUT}.tmp ${OUT})
