# Shared build settings of the project's own targets.

if(SANITIZE)
  add_compile_options(-fsanitize=${SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${SANITIZE})
endif()

if(TAGGING_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "TAGGING_FUZZ needs clang (configure with CXX=clang++)")
  endif()
  # Coverage feedback for everything the fuzz targets link; libFuzzer's own
  # main is added to the fuzz targets alone.
  add_compile_options(-fsanitize=fuzzer-no-link)
  add_compile_definitions(TAGGING_FUZZING=1)
endif()

# Warnings as errors for our own code; third-party headers come in as SYSTEM.
function(tagging_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Werror -Wno-missing-field-initializers)
endfunction()

# tagging_c_interface(<target>)
# A shared library whose dynamic symbols are its C functions alone: hidden
# visibility for our own names, and every C++ (mangled) name the compiler or a
# sanitizer emits with default visibility kept local (c-exports.map). A test
# (label "unit") reads the built library's symbol table and fails on any C++
# name in it.
function(tagging_c_interface target)
  set(map ${PROJECT_SOURCE_DIR}/cmake/c-exports.map)
  set_target_properties(${target} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LINK_DEPENDS ${map})
  target_link_options(${target} PRIVATE -Wl,--version-script=${map})
  if(TAGGING_TESTS)
    add_test(NAME ${target}.ExportsItsCInterfaceAlone
             COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:${target}> -DNM=${CMAKE_NM}
                     -P ${PROJECT_SOURCE_DIR}/cmake/CheckCExports.cmake)
    set_tests_properties(${target}.ExportsItsCInterfaceAlone PROPERTIES LABELS "unit")
  endif()
endfunction()

# tagging_test(<name> SOURCES ... LIBS ... LABELS ... [TIMEOUT s])
# A GoogleTest executable whose cases are registered one by one with CTest.
# Tests run from the output folder, where the driver and helper programs are.
function(tagging_test name)
  if(NOT TAGGING_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  tagging_warnings(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    DISCOVERY_MODE PRE_TEST
    PROPERTIES TIMEOUT ${T_TIMEOUT})
  # Labels are set after discovery, from the list of discovered tests:
  # gtest_discover_tests splits a list value such as "unit;tsan" into
  # separate arguments, which would keep only the first label.
  set(labels_script ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
  file(WRITE ${labels_script}
    "if(${name}_TESTS)\n  set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS \"${T_LABELS}\")\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${labels_script})
endfunction()

# tagging_fuzzer(<name> SOURCES ... LIBS ... [RUNS n] [MAX_LEN bytes] [CORPUS dir])
# A libFuzzer target. CTest (label "fuzz") runs it over its seed corpus (CORPUS,
# by default tests/corpus/<name>; it may not exist yet) and then explores from
# there for RUNS inputs of at most MAX_LEN bytes with a fixed random seed, in a working corpus made anew
# from the seeds each time: the same tree always gives the same result.
# scripts/fuzz.sh explores without those bounds.
function(tagging_fuzzer name)
  if(NOT TAGGING_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "RUNS;MAX_LEN;CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT F_RUNS)
    set(F_RUNS 200000)
  endif()
  if(NOT F_MAX_LEN)
    set(F_MAX_LEN 1024)
  endif()
  if(NOT F_CORPUS)
    set(F_CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name})
  endif()
  add_executable(${name} ${F_SOURCES})
  tagging_warnings(${name})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  set(work ${CMAKE_BINARY_DIR}/fuzz/${name})
  file(MAKE_DIRECTORY ${work})
  # scripts/fuzz.sh reads where the seeds of the target are.
  file(WRITE ${work}/seeds.txt "${F_CORPUS}\n")
  add_test(NAME fuzz.${name}
    COMMAND ${CMAKE_COMMAND} -DFUZZER=$<TARGET_FILE:${name}> -DWORK=${work} -DSEEDS=${F_CORPUS}
            -DRUNS=${F_RUNS} -DMAX_LEN=${F_MAX_LEN} -P ${PROJECT_SOURCE_DIR}/cmake/RunFuzzer.cmake)
  set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 600)
endfunction()
