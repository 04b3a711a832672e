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

# tonalda_engine_library(FOLDER [DEPENDS folder...] [LIBS ...] [PRIVATE_LIBS ...]): the library of
# one src/ folder, made of every .cpp in it. DEPENDS names the engine folders whose headers this
# one's headers and sources include (linked PUBLIC); LIBS are other libraries its headers need
# (PUBLIC), PRIVATE_LIBS those only its sources use. Dependencies point down: a folder may include
# only its own headers and those of the folders it depends on, directly or through them, and the
# folders may not depend on each other in a circle. The build checks both (see
# tonalda_check_layering), so an include that runs back up fails the build.
function(tonalda_engine_library folder)
  cmake_parse_arguments(L "" "" "DEPENDS;LIBS;PRIVATE_LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  file(GLOB headers CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
  set(target tonalda_${folder})
  set(engine_deps "")
  foreach(dep ${L_DEPENDS})
    list(APPEND engine_deps tonalda_${dep})
  endforeach()
  if(sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${target} PUBLIC ${engine_deps} ${L_LIBS} PRIVATE ${L_PRIVATE_LIBS})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${target} INTERFACE ${engine_deps} ${L_LIBS} ${L_PRIVATE_LIBS})
  endif()
  set_property(GLOBAL APPEND PROPERTY TONALDA_ENGINE_FOLDERS ${folder})
  set_property(GLOBAL PROPERTY TONALDA_ENGINE_DEPENDS_${folder} ${L_DEPENDS})
  set_property(GLOBAL PROPERTY TONALDA_ENGINE_FILES_${folder} ${sources} ${headers})
endfunction()

# The engine folders that `folder` reaches through DEPENDS, directly or not, in `out`.
function(tonalda_engine_reach folder out)
  set(reached "")
  get_property(pending GLOBAL PROPERTY TONALDA_ENGINE_DEPENDS_${folder})
  while(pending)
    list(POP_FRONT pending next)
    if(NOT next IN_LIST reached)
      list(APPEND reached ${next})
      get_property(more GLOBAL PROPERTY TONALDA_ENGINE_DEPENDS_${next})
      list(APPEND pending ${more})
    endif()
  endwhile()
  set(${out} ${reached} PARENT_SCOPE)
endfunction()

# Called once all folders are defined. A circle among the engine folders stops the configuration;
# each engine library gets a build step that fails when one of its files includes a folder it
# does not depend on, re-run whenever one of its files changes.
function(tonalda_check_layering)
  get_property(folders GLOBAL PROPERTY TONALDA_ENGINE_FOLDERS)
  foreach(folder ${folders})
    tonalda_engine_reach(${folder} reached)
    if(folder IN_LIST reached)
      message(FATAL_ERROR "src/${folder} depends on itself through ${reached}: the engine "
                          "folders must depend on each other downwards only")
    endif()
    get_property(files GLOBAL PROPERTY TONALDA_ENGINE_FILES_${folder})
    if(NOT files OR NOT TARGET tonalda_${folder})
      continue()
    endif()
    get_target_property(type tonalda_${folder} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
      continue()
    endif()
    set(stamp "${CMAKE_BINARY_DIR}/layering/${folder}.stamp")
    string(REPLACE ";" "," allowed "${folder};${reached}")
    string(REPLACE ";" "," file_list "${files}")
    add_custom_command(OUTPUT "${stamp}"
      COMMAND ${CMAKE_COMMAND} "-DFOLDER=${folder}" "-DALLOWED=${allowed}"
              "-DFILES=${file_list}" "-DSTAMP=${stamp}"
              -P "${CMAKE_SOURCE_DIR}/cmake/check_layering.cmake"
      DEPENDS ${files} "${CMAKE_SOURCE_DIR}/cmake/check_layering.cmake"
      COMMENT "Checking the includes of src/${folder}" VERBATIM)
    add_custom_target(tonalda_${folder}_layering DEPENDS "${stamp}")
    add_dependencies(tonalda_${folder} tonalda_${folder}_layering)
  endforeach()
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
