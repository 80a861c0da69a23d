# The name splitter of the in-process reader, held to btparse's: a table of
# hard names, and every name of the .bib files of the test data and of TeX
# Live split both ways. Included from tests/CMakeLists.txt.
add_executable(names_tests
    ${CMAKE_CURRENT_LIST_DIR}/names_differential_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/names_table_test.cpp)
target_include_directories(names_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(names_tests PRIVATE bibsources::reader_names bibsources::worker bibsources_test_support
                      GTest::gtest GTest::gtest_main)
target_compile_definitions(names_tests PRIVATE BIBSOURCES_TEST_DATA="${BIBSOURCES_TEST_DATA}")
gtest_discover_tests(names_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
