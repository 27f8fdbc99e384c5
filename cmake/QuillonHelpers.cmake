# The stricter warnings our own code is held to: narrowing and sign changes written out, no
# shadowed names, no C casts, no polymorphic class without a virtual destructor. Qt's and
# GoogleTest's headers come in as system headers, so only our code is checked.
add_library(quillon_strict_warnings INTERFACE)
target_compile_options(quillon_strict_warnings INTERFACE
  -Wconversion -Wsign-conversion -Wshadow -Wold-style-cast -Wnon-virtual-dtor
  -Woverloaded-virtual -Wcast-qual -Wformat=2)

# Shared compiler settings for every target of ours, tests included.
function(quillon_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  target_link_libraries(${target} PRIVATE quillon_strict_warnings)
  if(QUILLON_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# quillon_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [LABELS l1 l2])
# One GoogleTest executable, registered with CTest test by test.
function(quillon_add_test name)
  # RESOURCE_LOCK: tests holding the same lock never run at the same time (ctest -j).
  cmake_parse_arguments(ARG "" "RESOURCE_LOCK" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} quillon_test_support GTest::gtest GTest::gmock GTest::gtest_main)
  quillon_warnings(${name})
  # Tests on the shared sound server (label pulse) add and remove sinks of their own, which
  # renumbers the sources the others open by index: they run one at a time, lock or not.
  if(NOT ARG_RESOURCE_LOCK AND "pulse" IN_LIST ARG_LABELS)
    set(ARG_RESOURCE_LOCK shared_sound_server)
  endif()
  set(lock)
  if(ARG_RESOURCE_LOCK)
    set(lock RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ${lock} LABELS "${ARG_LABELS}" ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    DISCOVERY_TIMEOUT 60)
endfunction()

# quillon_add_bench(NAME SOURCES a.cpp LIBS lib1)
function(quillon_add_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark)
  quillon_warnings(${name})
endfunction()
