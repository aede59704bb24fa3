# cmake -DSOURCE_DIR=... -DXGETTEXT=... -DMSGFMT=... -DOUTPUT=... -P CheckCatalogue.cmake
# Test of the catalogue tooling: extracts the texts into OUTPUT (never the source tree) exactly as
# the pot target does, checks that known texts and a plural entry arrived, and that msgfmt
# accepts the result.
get_filename_component(output_dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${output_dir})
include(${CMAKE_CURRENT_LIST_DIR}/ExtractCatalogue.cmake)
file(READ ${OUTPUT} pot)
foreach(expected IN ITEMS
    "msgid \"Select your prefered language:\""
    "msgid \"You must restart Tesselograph for this change to take effect.\""
    "#, c-format\nmsgid \"You have created %ld Mosaic since %s!\"\nmsgid_plural \"You have created %ld Mosaics since %s!\"")
  string(FIND "${pot}" "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the extracted catalogue lacks: ${expected}")
  endif()
endforeach()
execute_process(COMMAND ${MSGFMT} --check-format -o /dev/null ${OUTPUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "msgfmt refuses the extracted catalogue")
endif()
