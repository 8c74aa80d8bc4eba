# Every test registered anywhere in the tree must be named test_<folder>_<what>,
# <folder> being the folder under tests/ (or fuzz) that adds it, and carry at
# least one label, each from the list below; the end of the configure step fails
# otherwise (tessarix_check_tests). A label says what the test needs besides the
# build tree, so that `ctest -L unit` runs where nothing else is at hand:
#   unit     nothing (offscreen Qt, loopback servers in the process, files)
#   process  starts the built programs (tessarix, tessarix-cms) as children
#   e2e      whole pages through the host against the reference server
#   office   starts LibreOffice instances
#   x11      an X server (Xvfb)
#   wayland  a Wayland compositor (weston, headless)
#   browser  chromium through puppeteer-core on node
#   js       node
#   fuzz     a fuzz target replaying its saved corpus
set(TESSARIX_TEST_LABELS unit process e2e office x11 wayland browser js fuzz)

# A test's properties can be read only in the folder that adds it, so each folder
# that adds one looks at its own tests when it ends.
function(add_test)
  _add_test(${ARGV})
  get_property(armed DIRECTORY PROPERTY TESSARIX_TESTS_CHECKED)
  if(NOT armed)
    set_property(DIRECTORY PROPERTY TESSARIX_TESTS_CHECKED TRUE)
    cmake_language(DEFER CALL _tessarix_check_folder_tests)
  endif()
endfunction()

function(_tessarix_check_folder_tests)
  file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  string(REGEX REPLACE "^tests/" "" folder "${rel}")
  string(REGEX REPLACE "/.*" "" folder "${folder}")
  get_property(tests DIRECTORY PROPERTY TESTS)
  foreach(name ${tests})
    if(NOT name MATCHES "^test_${folder}_[a-z0-9_]+$")
      set_property(GLOBAL APPEND PROPERTY TESSARIX_TEST_PROBLEMS "${rel}: ${name} is not named test_${folder}_<what>")
    endif()
    get_test_property(${name} LABELS labels)
    if(NOT labels)
      set_property(GLOBAL APPEND PROPERTY TESSARIX_TEST_PROBLEMS "${rel}: ${name} has no label")
      set(labels)
    endif()
    foreach(label ${labels})
      if(NOT label IN_LIST TESSARIX_TEST_LABELS)
        set_property(GLOBAL APPEND PROPERTY TESSARIX_TEST_PROBLEMS "${rel}: ${name} has the unknown label \"${label}\"")
      endif()
    endforeach()
  endforeach()
endfunction()

# Called last by the top level, when every folder has been read.
function(tessarix_check_tests)
  get_property(problems GLOBAL PROPERTY TESSARIX_TEST_PROBLEMS)
  if(problems)
    list(JOIN problems "\n  " text)
    list(JOIN TESSARIX_TEST_LABELS ", " known)
    message(FATAL_ERROR "Every test is named test_<folder>_<what> and labelled with some of "
                        "${known} (cmake/TessarixTestCheck.cmake):\n  ${text}")
  endif()
endfunction()
