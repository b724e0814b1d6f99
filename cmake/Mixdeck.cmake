include(${CMAKE_CURRENT_LIST_DIR}/VersionInfo.cmake)

# In an existing build folder the code generators (moc, uic) do not run
# again for a file added to a target, so a new window layout gets no header:
# when the target's files change, their stamp is removed and they run.
function(mixdeck_autogen_follows target files)
  set(_inputs ${CMAKE_BINARY_DIR}/autogen-inputs/${target}.txt)
  set(_before "")
  if(EXISTS ${_inputs})
    file(READ ${_inputs} _before)
  endif()
  if(NOT _before STREQUAL "${files}")
    file(REMOVE ${CMAKE_CURRENT_BINARY_DIR}/${target}_autogen/timestamp)
    file(WRITE ${_inputs} "${files}")
  endif()
endfunction()

# One static library per src/ folder, named mixdeck_<folder>, taking every
# source, header and window layout of the folder.
function(mixdeck_library folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS
       ${PROJECT_SOURCE_DIR}/src/${folder}/*.cpp
       ${PROJECT_SOURCE_DIR}/src/${folder}/*.c
       ${PROJECT_SOURCE_DIR}/src/${folder}/*.h
       ${PROJECT_SOURCE_DIR}/src/${folder}/*.ui
       ${PROJECT_SOURCE_DIR}/src/${folder}/*.qrc)
  if(NOT _src)
    set(_src ${PROJECT_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(mixdeck_${folder} STATIC ${_src})
  target_include_directories(mixdeck_${folder} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  set_target_properties(mixdeck_${folder} PROPERTIES AUTOUIC_SEARCH_PATHS ${PROJECT_SOURCE_DIR}/src/${folder})
  mixdeck_autogen_follows(mixdeck_${folder} "${_src}")
  target_link_libraries(mixdeck_${folder} PUBLIC ${ARG_DEPS})
  set(_extra ${PROJECT_SOURCE_DIR}/src/${folder}/extra.cmake)
  if(EXISTS ${_extra})
    include(${_extra})
  endif()
endfunction()

# One GoogleTest executable per tests/ folder, registered with CTest.
# Every test executable runs with the offscreen Qt platform and its own
# program folder, so no test touches the user's files.
function(mixdeck_tests folder)
  cmake_parse_arguments(ARG "NOQT" "" "DEPS" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS
       ${PROJECT_SOURCE_DIR}/tests/${folder}/*.cpp
       ${PROJECT_SOURCE_DIR}/tests/${folder}/*.h)
  if(NOT _src)
    return()
  endif()
  add_executable(test_${folder} ${_src})
  mixdeck_autogen_follows(test_${folder} "${_src}")
  mixdeck_version_note(test_${folder})
  target_include_directories(test_${folder} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  # Tests may include the generated ui_*.h of the windows they drive.
  set_target_properties(test_${folder} PROPERTIES AUTOUIC_SEARCH_PATHS ${PROJECT_SOURCE_DIR}/src/${folder})
  if(ARG_NOQT)
    target_link_libraries(test_${folder} PRIVATE ${ARG_DEPS} mixdeck_testmain_plain GTest::gtest GTest::gmock)
  else()
    target_link_libraries(test_${folder} PRIVATE ${ARG_DEPS} mixdeck_testmain_qt GTest::gtest GTest::gmock)
  endif()
  add_test(NAME ${folder} COMMAND test_${folder})
  # A sanitized build runs its programs several times slower.
  if(MIXDECK_SANITIZE)
    set(_timeout 1800)
  else()
    set(_timeout 600)
  endif()
  set_tests_properties(${folder} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;MIXDECK_SOURCE_DIR=${PROJECT_SOURCE_DIR};MIXDECK_BINARY_DIR=${PROJECT_BINARY_DIR}"
    TIMEOUT ${_timeout})
  set(_extra ${PROJECT_SOURCE_DIR}/tests/${folder}/extra.cmake)
  if(EXISTS ${_extra})
    include(${_extra})
  endif()
endfunction()
