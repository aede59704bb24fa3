# cmake -DPANDOC=... -DGS=... -DSOURCE=guide.md -DOUTPUT=guide.pdf -DVERSION=x.y.z -DWORK_DIR=...
#       -P BuildGuide.cmake
# Makes the user guide PDF: pandoc writes roff and runs pdfroff (groff and Ghostscript), which
# moves the table of contents to the front. pdfroff leaves an empty page before it (only the page
# number is printed); Ghostscript drops that page, keeping the bookmarks and links.
file(MAKE_DIRECTORY ${WORK_DIR})
set(draft ${WORK_DIR}/draft.pdf)
execute_process(
  COMMAND ${PANDOC} --standalone --toc --toc-depth=2 --pdf-engine=pdfroff
          "--metadata=date:Version ${VERSION}" -o ${draft} ${SOURCE}
  WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE result ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "pandoc could not write the user guide:\n${errors}")
endif()

# The bounding box of what page 1 prints: a lone page number is a few points high.
execute_process(COMMAND ${GS} -q -dNOPAUSE -dBATCH -sDEVICE=bbox -dFirstPage=1 -dLastPage=1 ${draft}
  ERROR_VARIABLE box RESULT_VARIABLE result)
set(first 1)
if(result EQUAL 0 AND box MATCHES "%%BoundingBox: [0-9]+ ([0-9]+) [0-9]+ ([0-9]+)")
  math(EXPR height "${CMAKE_MATCH_2} - ${CMAKE_MATCH_1}")
  if(height LESS 20)
    set(first 2)
  endif()
endif()
if(first EQUAL 1)
  file(COPY_FILE ${draft} ${OUTPUT})
else()
  execute_process(COMMAND ${GS} -q -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -dFirstPage=2
                          -sOutputFile=${OUTPUT} ${draft}
    RESULT_VARIABLE result ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "Ghostscript could not write the user guide:\n${errors}")
  endif()
endif()
