# add_unit_test(NAME <name> SOURCES <files...> LIBS <targets...> [LABEL unit|ui])
# Builds one GoogleTest program and registers each of its tests with CTest. Every test runs with
# a home folder and a machine root of its own under the build folder, never the real ones, and
# with Qt's offscreen platform.
include(GoogleTest)

function(add_unit_test)
  cmake_parse_arguments(T "" "NAME;LABEL" "SOURCES;LIBS" ${ARGN})
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${T_NAME} PRIVATE
    TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
    SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    BUILD_DIR="${CMAKE_BINARY_DIR}")
  set(home ${CMAKE_BINARY_DIR}/test-home)
  set(root ${CMAKE_BINARY_DIR}/test-root)
  file(MAKE_DIRECTORY ${home} ${root})
  # The test properties cannot carry a list through test discovery, so the environment is set by
  # running each test program through env(1), which discovery and every test run both use.
  set_target_properties(${T_NAME} PROPERTIES CROSSCOMPILING_EMULATOR
    "env;HOME=${home};PLATFORM_ROOT=${root};QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8;LANGUAGE=;LC_ALL=")
  # A parameterized case is named by its name generator alone, never by the bytes of its value.
  gtest_discover_tests(${T_NAME}
    NO_PRETTY_VALUES
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES
      LABELS ${T_LABEL}
      TIMEOUT 300)
endfunction()
