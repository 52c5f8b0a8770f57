# The sound-recording component. recorder_capture_test and recorder_format_test run against a
# private PulseAudio server each test starts; recorder_spool_test checks the path from the audio
# thread to the disk on its own.
add_executable(recorder_test
    ${CMAKE_CURRENT_LIST_DIR}/recorder_capture_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/recorder_format_test.cpp
)
target_link_libraries(recorder_test PRIVATE dd_recorder dd_test_support GTest::gtest_main)
gtest_discover_tests(recorder_test DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 120)

add_executable(recorder_spool_test ${CMAKE_CURRENT_LIST_DIR}/recorder_spool_test.cpp)
target_link_libraries(recorder_spool_test PRIVATE dd_recorder dd_test_support GTest::gtest_main)
gtest_discover_tests(recorder_spool_test DISCOVERY_MODE PRE_TEST)
