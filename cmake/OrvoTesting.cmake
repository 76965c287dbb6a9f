# orvo_add_test(<name> SOURCES <files...> LIBS <libs...> [LABELS <label>])
# One GoogleTest executable; every test case becomes a CTest test.
include(GoogleTest)
find_package(GTest REQUIRED)

function(orvo_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
    # Shared test scaffolding: #include "common/...".
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    orvo_target_defaults(${name})
    set(labels ${ARG_LABELS})
    if(NOT labels)
        set(labels unit)
    endif()
    gtest_discover_tests(${name}
        WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
        PROPERTIES LABELS "${labels}" TIMEOUT 300
        DISCOVERY_TIMEOUT 60)
endfunction()
