# Common flags for every target of the project.
add_library(ct_common INTERFACE)
target_compile_features(ct_common INTERFACE cxx_std_20)
target_compile_options(ct_common INTERFACE
  -Wall -Wextra -Wpedantic -Werror
  -Wold-style-cast -Woverloaded-virtual -Wnon-virtual-dtor -Wcast-align -Wformat=2)
target_compile_definitions(ct_common INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_USE_QSTRINGBUILDER QT_NO_CONTEXTLESS_CONNECT
  QT_NO_KEYWORDS
  CT_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
  CT_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  CT_VERSION_PATCH=${PROJECT_VERSION_PATCH})
target_include_directories(ct_common INTERFACE ${PROJECT_SOURCE_DIR})
if(CT_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "CT_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  # Everything instrumented for the fuzzer; the targets add the fuzzer's main.
  target_compile_options(ct_common INTERFACE -fsanitize=fuzzer-no-link,address,undefined
    -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(ct_common INTERFACE -fsanitize=address,undefined)
endif()
if(CT_SANITIZE)
  target_compile_options(ct_common INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined)
  target_link_options(ct_common INTERFACE -fsanitize=address,undefined)
endif()

# ct_add_test(NAME SOURCES a.cpp b.cpp LIBS x y LABELS gui)
function(ct_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE ct_common ct_testsupport ${T_LIBS} Qt6::Test)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    LABELS "${T_LABELS}"
    TIMEOUT 300
    # A test function that hangs ends by Qt's watchdog before ctest's limit, with the
    # stack of every thread (through gdb) in the output.
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;LANG=C.UTF-8;QT_ACCESSIBILITY=0;QTEST_FUNCTION_TIMEOUT=200000")
endfunction()
