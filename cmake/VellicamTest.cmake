# vellicam_add_test(NAME SOURCES file... [LIBS target...])
# One GoogleTest executable, registered test by test with CTest. Every test runs with the offscreen Qt platform
# and the C locale, so nothing depends on a display or on the machine's language.
include(GoogleTest)
find_package(GTest REQUIRED)

function(vellicam_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} vellicam_test_main GTest::gtest)
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;VELLICAM_TEST_DATA=${CMAKE_SOURCE_DIR}/tests/data;VELLICAM_BIN=${CMAKE_BINARY_DIR}/bin"
        DISCOVERY_TIMEOUT 60)
endfunction()
