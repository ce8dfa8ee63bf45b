# lindavex_tests(AREA LIBS...): one test program per *_test.cpp file of this folder.
# Files named in LINDAVEX_POSIX_ONLY_TESTS (set by the folder, with the reason beside it) are
# not built for Windows.
if(CMAKE_CROSSCOMPILING_EMULATOR)
    set(LINDAVEX_TEST_TIMEOUT 900)
    set(LINDAVEX_DISCOVERY_TIMEOUT 300)
else()
    set(LINDAVEX_TEST_TIMEOUT 300)
    set(LINDAVEX_DISCOVERY_TIMEOUT 60)
endif()
function(lindavex_tests area)
    file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
    foreach(source ${test_sources})
        get_filename_component(name ${source} NAME_WE)
        if(WIN32 AND name IN_LIST LINDAVEX_POSIX_ONLY_TESTS)
            continue()
        endif()
        set(target ${area}_${name})
        add_executable(${target} ${source})
        target_link_libraries(${target} PRIVATE lindavex_testsupport ${ARGN})
        target_compile_definitions(${target} PRIVATE
            LINDAVEX_SOURCE_DIR="${LINDAVEX_HOST_ROOT}${CMAKE_SOURCE_DIR}"
            LINDAVEX_BINARY_DIR="${LINDAVEX_HOST_ROOT}${CMAKE_BINARY_DIR}")
        # Under Wine each start of a test program costs seconds, so listing the tests needs
        # longer, and each file call is a trip to the Wine server, so the runs do too.
        gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST
            DISCOVERY_TIMEOUT ${LINDAVEX_DISCOVERY_TIMEOUT}
            PROPERTIES TIMEOUT ${LINDAVEX_TEST_TIMEOUT} LABELS ${area})
    endforeach()
endfunction()
