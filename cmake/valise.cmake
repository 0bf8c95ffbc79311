# Helpers shared by every folder of the tree.

# valise_module(NAME [DEPS lib...]): a static library made of every .cpp file in the current
# folder. Backend folders (posix/, win32/) are added by the module that owns them.
function(valise_module name)
  cmake_parse_arguments(ARG "" "" "DEPS;SOURCES" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${name} STATIC ${sources} ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# valise_test(NAME [SERIAL] [LIBS lib...] [LABELS label...]): a GoogleTest program made of every
# *_test.cpp file in the current folder and in its subfolder of the backend built (posix/ or
# win32/), as the sources are chosen; each case becomes its own CTest entry. SERIAL cases run
# while no other test runs (windows of tests running at once take the focus from each other).
function(valise_test name)
  cmake_parse_arguments(ARG "SERIAL" "" "LIBS;LABELS;SOURCES" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/${VALISE_BACKEND}/*_test.cpp)
  add_executable(${name} ${sources} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} valise_testsupport GTest::gtest_main)
  set(labels ${ARG_LABELS})
  set(environment "")
  if(WIN32)
    list(APPEND labels wine)
  else()
    # The posix backend's virtual Windows: one prefix for the build's tests, made on first use.
    set(environment "WINEPREFIX=${CMAKE_BINARY_DIR}/test-prefix")
  endif()
  # The properties reach set_tests_properties of each discovered test as one flat list, in which
  # an empty value would drop out and a list of labels would fall apart; the labels are set by
  # a script of their own that CTest runs after the discovery.
  set(properties TIMEOUT 300)
  if(ARG_SERIAL)
    list(APPEND properties RUN_SERIAL TRUE)
  endif()
  if(environment)
    list(APPEND properties ENVIRONMENT "${environment}")
  endif()
  gtest_discover_tests(${name}
    TEST_LIST ${name}_TESTS
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    PROPERTIES ${properties})
  # Tests that install the demo, whose records lie below the maker's key
  # (HKEY_CURRENT_USER\Software\Vantorel), or that watch that key, share one registry under Wine:
  # they run one at a time.
  set(lock_script ${CMAKE_CURRENT_BINARY_DIR}/${name}_locks.cmake)
  file(WRITE ${lock_script}
       "foreach(test IN LISTS ${name}_TESTS)\n"
       "  if(test MATCHES \"^(Guides|Demo|TerminalDemo|Wine|Uninstall|SetupRun[.]TheMakersKey)\")\n"
       "    set_tests_properties(\"\${test}\" PROPERTIES RESOURCE_LOCK maker_key)\n"
       "  endif()\n"
       "endforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${lock_script})
  if(labels)
    list(REMOVE_DUPLICATES labels)
    set(label_script ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
    file(WRITE ${label_script}
         "if(${name}_TESTS)\n"
         "  set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS \"${labels}\")\n"
         "endif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${label_script})
  endif()
endfunction()
