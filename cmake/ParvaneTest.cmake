include(GoogleTest)

# parvane_add_test(NAME SOURCES ... [LIBS ...] [LABELS ...] [GROUP group] [GUI])
# One gtest executable in the application folder; every test case becomes a ctest entry carrying
# its first label, so `ctest -L unit` (or integration, gui, fuzz) picks a group. GUI tests get the main
# that starts a QApplication and run offscreen; they group under gui unless GROUP names another.
function(parvane_add_test name)
  cmake_parse_arguments(T "GUI" "GROUP" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_GUI)
    target_link_libraries(${name} PRIVATE parvane_gui_test_main ${T_LIBS})
    set(env "QT_QPA_PLATFORM=offscreen")
    list(PREPEND T_LABELS gui)
  else()
    target_link_libraries(${name} PRIVATE parvane_test_main ${T_LIBS})
    set(env "")
  endif()
  if(T_GROUP)
    list(PREPEND T_LABELS ${T_GROUP})
  endif()
  target_compile_definitions(${name} PRIVATE
    PARVANE_TESTDATA_DIR="${PROJECT_SOURCE_DIR}/../shared/testdata"
    PARVANE_APP_DIR="${PARVANE_APP_DIR}/")
  add_dependencies(${name} tool-links)
  # Discovery keeps only the first label of a list, so the group a test belongs to comes first.
  list(GET T_LABELS 0 label)
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${PARVANE_APP_DIR}
    PROPERTIES LABELS "${label}" ENVIRONMENT "${env}"
    DISCOVERY_TIMEOUT 60)
endfunction()
