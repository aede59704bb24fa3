# cmake -DSOURCE_DIR=... -DXGETTEXT=... [-DOUTPUT=...] -P ExtractCatalogue.cmake
# Collects every text passed to tr(), trn() or N_() in the program's sources into OUTPUT
# (default: locale/tesselograph.pot in the source tree).
if(NOT DEFINED OUTPUT)
  set(OUTPUT locale/tesselograph.pot)
endif()
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/app/*.cpp ${SOURCE_DIR}/app/*.h ${SOURCE_DIR}/platform/*.cpp ${SOURCE_DIR}/platform/*.h
  ${SOURCE_DIR}/config/*.cpp ${SOURCE_DIR}/config/*.h ${SOURCE_DIR}/job/*.cpp ${SOURCE_DIR}/job/*.h
  ${SOURCE_DIR}/imaging/*.cpp ${SOURCE_DIR}/imaging/*.h ${SOURCE_DIR}/tiles/*.cpp ${SOURCE_DIR}/tiles/*.h
  ${SOURCE_DIR}/geometry/*.cpp ${SOURCE_DIR}/geometry/*.h ${SOURCE_DIR}/engine/*.cpp ${SOURCE_DIR}/engine/*.h
  ${SOURCE_DIR}/output/*.cpp ${SOURCE_DIR}/output/*.h ${SOURCE_DIR}/parallel/*.cpp ${SOURCE_DIR}/parallel/*.h
  ${SOURCE_DIR}/video/*.cpp ${SOURCE_DIR}/video/*.h ${SOURCE_DIR}/update/*.cpp ${SOURCE_DIR}/update/*.h
  ${SOURCE_DIR}/ui/*.cpp ${SOURCE_DIR}/ui/*.h ${SOURCE_DIR}/cli/*.cpp ${SOURCE_DIR}/cli/*.h)
list(SORT sources)
execute_process(
  COMMAND ${XGETTEXT} --language=C++ --from-code=UTF-8 --keyword=tr --keyword=trn:1,2
          --keyword=N_ --keyword=NP_:1,2 --keyword=qtr --keyword=qtrn:1,2 --add-comments=TRANSLATORS: --package-name=Tesselograph
          --sort-by-file -o ${OUTPUT} ${sources}
  WORKING_DIRECTORY ${SOURCE_DIR}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "xgettext failed")
endif()
