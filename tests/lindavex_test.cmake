# lindavex_tests(AREA LIBS...): one test program per *_test.cpp file of this folder.
function(lindavex_tests area)
    file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
    foreach(source ${test_sources})
        get_filename_component(name ${source} NAME_WE)
        set(target ${area}_${name})
        add_executable(${target} ${source})
        target_link_libraries(${target} PRIVATE lindavex_testsupport ${ARGN})
        target_compile_definitions(${target} PRIVATE
            LINDAVEX_SOURCE_DIR="${CMAKE_SOURCE_DIR}" LINDAVEX_BINARY_DIR="${CMAKE_BINARY_DIR}")
        gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST
            PROPERTIES TIMEOUT 300 LABELS ${area})
    endforeach()
endfunction()
