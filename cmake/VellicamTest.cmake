# vellicam_add_test(NAME SOURCES file... [LIBS target...])
# One GoogleTest executable, registered test by test with CTest. Every test runs with the offscreen Qt platform
# and a fixed locale, so nothing depends on a display or on the machine's language.
include(GoogleTest)
find_package(GTest REQUIRED)

function(vellicam_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} vellicam_test_main GTest::gtest)
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
        # One variable only: gtest_discover_tests splits a list here. The test main fixes the locale, and the data
        # and program folders are compiled in (VELLICAM_SOURCE_DIR, VELLICAM_BUILD_DIR).
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
        DISCOVERY_TIMEOUT 60)
endfunction()
