# vesk2_add_e2e_run (NAME CHECKER PYTEST_ARGUMENTS...)
#
# Adds the CTest test e2e.NAME, labelled e2e and NAME: pytest over tests/e2e with
# the given selection, the program under CHECKER (asan, tsan, valgrind, or empty
# for none), the tests spread over two xdist workers, and its cases written to
# junit/e2e.NAME.xml in the build tree. A test's time limit only catches a hang,
# stretched for a program slowed by a checking tool. VESK2_E2E_ENVIRONMENT adds
# variables (VESK2_BIN: the folder of the program and vesk2-sim).
find_package (Python3 REQUIRED COMPONENTS Interpreter)

function (vesk2_add_e2e_run name checker)
    set (hangLimit 300)
    if (checker STREQUAL "valgrind")
        set (hangLimit 1800)
    elseif (checker)
        set (hangLimit 1200)
    endif()
    set (junit ${CMAKE_BINARY_DIR}/junit/e2e.${name}.xml)
    add_test (NAME e2e.${name}
              COMMAND ${Python3_EXECUTABLE} -m pytest ${PROJECT_SOURCE_DIR}/tests/e2e
                      -n 2 --timeout=${hangLimit} --junitxml=${junit} -o junit_suite_name=e2e.${name} ${ARGN})
    set_tests_properties (e2e.${name} PROPERTIES
        LABELS "e2e;${name}"
        PROCESSORS 2
        TIMEOUT 3600
        ENVIRONMENT "${VESK2_E2E_ENVIRONMENT};VESK2_CHECKER=${checker};VESK2_ARTEFACTS=${CMAKE_BINARY_DIR}/artefacts;VESK2_SOURCE_DIR=${PROJECT_SOURCE_DIR};VESK2_BUILD_DIR=${CMAKE_BINARY_DIR}")
endfunction()
