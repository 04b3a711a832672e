# Helpers shared by every folder's CMakeLists.txt.

# tonalda_test(NAME SOURCES... LIBS ...): one GoogleTest executable per area, registered with CTest.
function(tonalda_test name)
  if(NOT TONALDA_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    TONALDA_MODULE_DIR="${TONALDA_MODULE_DIR}"
    TONALDA_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    TONALDA_BINARY_DIR="${CMAKE_BINARY_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
endfunction()

# tonalda_module_library(NAME OUTPUT_NAME x DIRECTORY d SOURCES ... [LIBS ...] [DEFINITIONS ...]
# [LINK_OPTIONS ...]): a run-time loaded module with hidden visibility and -z defs, built into d.
function(tonalda_module_library name)
  cmake_parse_arguments(M "" "OUTPUT_NAME;DIRECTORY" "SOURCES;LIBS;DEFINITIONS;LINK_OPTIONS" ${ARGN})
  add_library(${name} MODULE ${M_SOURCES})
  set_target_properties(${name} PROPERTIES
    PREFIX "" OUTPUT_NAME "${M_OUTPUT_NAME}"
    C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
    LIBRARY_OUTPUT_DIRECTORY "${M_DIRECTORY}")
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_compile_definitions(${name} PRIVATE ${M_DEFINITIONS})
  target_link_options(${name} PRIVATE "LINKER:-z,defs" ${M_LINK_OPTIONS})
  target_link_libraries(${name} PRIVATE ${M_LIBS})
endfunction()

# tonalda_module(NAME OUTPUT_NAME SUBDIR SOURCES...): a module of the program, built into the
# module folder and installed into the install folder.
function(tonalda_module name)
  cmake_parse_arguments(M "" "OUTPUT_NAME;SUBDIR" "SOURCES;LIBS" ${ARGN})
  tonalda_module_library(${name} OUTPUT_NAME "${M_OUTPUT_NAME}"
    DIRECTORY "${TONALDA_MODULE_DIR}/${M_SUBDIR}" SOURCES ${M_SOURCES} LIBS ${M_LIBS})
  install(TARGETS ${name} LIBRARY DESTINATION "${TONALDA_INSTALL_DIR}/${M_SUBDIR}")
endfunction()

# tonalda_fuzzer(NAME SOURCES... LIBS ...): a libFuzzer target, only in fuzz builds.
function(tonalda_fuzzer name)
  if(NOT TONALDA_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  set_property(GLOBAL APPEND PROPERTY TONALDA_FUZZERS ${name})
endfunction()

# tonalda_engine_library(FOLDER LIBS ...): the library of one src/ folder, made of every .cpp in it.
# A folder without sources yet gives an interface library, so that dependents still configure.
function(tonalda_engine_library folder)
  cmake_parse_arguments(L "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  set(target tonalda_${folder})
  if(sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${target} PUBLIC ${L_LIBS})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${target} INTERFACE ${L_LIBS})
  endif()
endfunction()

# tonalda_area_tests(AREA LIBS ...): one test executable per area from every *_test.cpp in the
# folder, plus any other .cpp helpers there.
function(tonalda_area_tests area)
  cmake_parse_arguments(A "" "TIMEOUT" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  if(sources)
    tonalda_test(${area}_tests SOURCES ${sources} LIBS ${A_LIBS} TIMEOUT ${A_TIMEOUT})
  endif()
endfunction()
