# tg_add_library(<target> [DEPENDS <targets>...])
# One static library per source folder, built from the folder's own .cpp files. Headers are
# included by their path from the source root ("imaging/foto.h"). A folder without sources yet
# is an interface target so that the layers above it can already name it.
function(tg_add_library target)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${ARG_DEPENDS})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE ${ARG_DEPENDS})
  endif()
endfunction()

# tg_add_test_suite(<folder> [DEPENDS <targets>...])
# One GoogleTest executable per folder under tests/, built from the folder's .cpp files and
# registered test by test with CTest. Tests run with the build's bin/ folder as the program
# folder's neighbour, and with TESSELOGRAPH_CONFIG_PATH pointing at a scratch folder so no test
# can touch the real user's configuration.
function(tg_add_test_suite folder)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  if(NOT sources)
    return()
  endif()
  string(REPLACE "/" "_" name ${folder})
  set(exe tg_tests_${name})
  add_executable(${exe} ${sources})
  target_include_directories(${exe} PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${exe} PRIVATE tg_test_support ${ARG_DEPENDS} GTest::gmock GTest::gtest)
  set_target_properties(${exe} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TG_RUNTIME_DIR})
  gtest_discover_tests(${exe}
    DISCOVERY_TIMEOUT 120
    # One variable per property: gtest_discover_tests splits a list value into separate arguments.
    PROPERTIES ENVIRONMENT "TESSELOGRAPH_CONFIG_PATH=${CMAKE_BINARY_DIR}/test-config"
               ENVIRONMENT_MODIFICATION "TG_TEST_DATA=set:${CMAKE_CURRENT_SOURCE_DIR}/data")
endfunction()
