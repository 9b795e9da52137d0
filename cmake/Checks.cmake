# Targets that check the project itself: coverage of the unit and gui tests, and clang-tidy.

# coverage: run the fast labels in a build configured with -DKEYROVIA_COVERAGE=ON and print
# line and branch coverage of the program's own code (src/ and tools/).
find_program(GCOVR gcovr)
if(KEYROVIA_COVERAGE AND GCOVR)
  add_custom_target(coverage
    COMMAND sh -c "find '${CMAKE_BINARY_DIR}' -name '*.gcda' -delete"
    COMMAND sh -c "'${CMAKE_CTEST_COMMAND}' -L '^(unit|gui)$' --output-on-failure || echo 'Some tests failed: the figures count what ran.'"
    COMMAND ${GCOVR} -r ${CMAKE_SOURCE_DIR} --object-directory ${CMAKE_BINARY_DIR}
            --filter ${CMAKE_SOURCE_DIR}/src/ --filter ${CMAKE_SOURCE_DIR}/tools/
            --exclude-unreachable-branches --exclude-throw-branches -s
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    USES_TERMINAL VERBATIM
    COMMENT "Line and branch coverage of src/ and tools/ by the unit and gui tests")
endif()

# tidy: clang-tidy with the project's .clang-tidy over every program source, using the
# compile commands of this build. Headers are checked where they live in src/ and tools/ (or
# through the per-library include roots); generated ones (moc, wayland-scanner) are not.
find_program(CLANG_TIDY_RUN NAMES run-clang-tidy run-clang-tidy-14)
if(CLANG_TIDY_RUN)
  add_custom_target(tidy
    COMMAND ${CLANG_TIDY_RUN} -quiet -p ${CMAKE_BINARY_DIR}
            "-header-filter=^(${CMAKE_SOURCE_DIR}/(src|tools)|${CMAKE_BINARY_DIR}/include)/"
            "^${CMAKE_SOURCE_DIR}/(src|tools)/.*\\.cpp$"
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    USES_TERMINAL VERBATIM
    COMMENT "clang-tidy over src/ and tools/")
endif()
