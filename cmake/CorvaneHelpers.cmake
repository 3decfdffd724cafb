# Sources of a folder, gathered so that adding a class needs no edit of a shared list.
function(corvane_glob_sources out dir)
  file(GLOB_RECURSE _srcs CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  set(${out} ${_srcs} PARENT_SCOPE)
endfunction()

# Executables export their symbols, so that the shared frameworks resolve what they take from
# the program (and tests' doubles) to the program's one definition.
function(corvane_executable target)
  set_target_properties(${target} PROPERTIES ENABLE_EXPORTS ON)
endfunction()

# One GoogleTest executable per test folder, registered with CTest.
function(corvane_add_test_folder name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB_RECURSE _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(${name} ${_srcs})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} corvane_test_support GTest::gtest GTest::gmock GTest::gtest_main)
  corvane_executable(${name})
  target_compile_definitions(${name} PRIVATE
    CORVANE_ASSETS_DIR="${CORVANE_ASSETS_DIR}"
    CORVANE_TEST_DATA_DIR="${CORVANE_TEST_DATA_DIR}"
    CORVANE_SHARE_DIR="${CORVANE_SHARE_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
