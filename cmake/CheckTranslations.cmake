# cmake -DSOURCE_DIR=... -DXGETTEXT=... -DMSGFMT=... -DMSGCMP=... -DWORK_DIR=... -P CheckTranslations.cmake
# Fails when locale/tesselograph.pot no longer matches the texts of the sources, when a
# translation lacks a message of the template (or leaves it untranslated or fuzzy), or when the
# language list names a language without a catalogue. The messages say how to fix each case.
cmake_minimum_required(VERSION 3.25)
set(pot ${SOURCE_DIR}/locale/tesselograph.pot)
set(extracted ${WORK_DIR}/tesselograph.pot)
file(MAKE_DIRECTORY ${WORK_DIR})
set(OUTPUT ${extracted})
include(${CMAKE_CURRENT_LIST_DIR}/ExtractCatalogue.cmake)

set(problems)
set(fix_template "regenerate it with 'cmake --build <build> --target pot', merge it into the \
translations with 'cmake --build <build> --target update-po', translate what is new and commit \
locale/")

# The same messages both ways: nothing new in the sources, nothing stale in the template.
foreach(pair IN ITEMS "${extracted}|${pot}" "${pot}|${extracted}")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 wanted)
  list(GET pair 1 against)
  execute_process(COMMAND ${MSGCMP} --use-untranslated ${against} ${wanted}
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    list(APPEND problems "locale/tesselograph.pot is out of date with the sources:\n${err}\
Fix: ${fix_template}.")
    break()
  endif()
endforeach()

file(GLOB po_files ${SOURCE_DIR}/locale/*.po)
set(languages en)
foreach(po IN LISTS po_files)
  get_filename_component(lang ${po} NAME_WE)
  list(APPEND languages ${lang})
  execute_process(COMMAND ${MSGCMP} ${po} ${pot}
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    list(APPEND problems "locale/${lang}.po misses messages of the template:\n${err}\
Fix: 'cmake --build <build> --target update-po', then translate every new or fuzzy message of \
locale/${lang}.po (msgfmt --statistics shows how many remain) and commit it.")
  endif()
  execute_process(COMMAND ${MSGFMT} --check --statistics -o /dev/null ${po}
    RESULT_VARIABLE result ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    list(APPEND problems "msgfmt --check refuses locale/${lang}.po:\n${err}")
  endif()
endforeach()

# The language dialog offers only languages that have a catalogue (English is built in).
file(STRINGS ${SOURCE_DIR}/locale/locale.txt entries REGEX "=")
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^[^=]*=[ \t]*([^ \t]*)[ \t]*$" "\\1" code "${entry}")
  if(NOT code IN_LIST languages)
    list(APPEND problems "locale/locale.txt offers '${entry}' but locale/${code}.po does not \
exist: remove the line or add the translation.")
  endif()
endforeach()

if(problems)
  list(JOIN problems "\n\n" text)
  message(FATAL_ERROR "${text}")
endif()
