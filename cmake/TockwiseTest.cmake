# tockwise_add_test(NAME name SOURCES ... LIBS ... [LABELS ...] [SKIP_REGEX re])
# One Qt Test program per area, run headless with a fixed locale and time zone
# so dates, month names and pixels come out the same on every machine. A
# program that cannot run here skips in initTestCase, and CTest counts it as
# skipped, not passed (SKIP_REGEX widens that for a program of one test).
function(tockwise_add_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT;SKIP_REGEX" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE Qt6::Test ${T_LIBS})
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8;LC_ALL=C.UTF-8;TZ=UTC;${T_ENVIRONMENT}"
        TIMEOUT ${T_TIMEOUT})
    if(NOT T_SKIP_REGEX)
        set(T_SKIP_REGEX "SKIP   : [A-Za-z_]+::initTestCase\\(\\)")
    endif()
    set_tests_properties(${T_NAME} PROPERTIES SKIP_REGULAR_EXPRESSION "${T_SKIP_REGEX}")
    if(T_LABELS)
        set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
    endif()
endfunction()
