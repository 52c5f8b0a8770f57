# The sound-recording component. recorder_test runs against a private PulseAudio server each test
# starts (and, for the full disk, a small tmpfs of its own); recorder_spool_test checks the path
# from the audio thread to the disk, and recovery, on its own. recorder_child is a recorder in a
# process of its own, which the crash test kills. Labelled "audio": where the threads are, for
# the ThreadSanitizer run.
add_executable(recorder_child ${CMAKE_CURRENT_LIST_DIR}/recorder_child.cpp)
target_link_libraries(recorder_child PRIVATE dd_recorder)

add_executable(recorder_test
    ${CMAKE_CURRENT_LIST_DIR}/recorder_capture_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/recorder_durability_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/recorder_format_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/recorder_reconnect_test.cpp
)
target_link_libraries(recorder_test PRIVATE dd_recorder dd_test_support GTest::gtest_main)
target_compile_definitions(recorder_test
    PRIVATE DD_RECORDER_CHILD="$<TARGET_FILE:recorder_child>")
add_dependencies(recorder_test recorder_child)
gtest_discover_tests(recorder_test DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 120 LABELS audio)

add_executable(recorder_spool_test ${CMAKE_CURRENT_LIST_DIR}/recorder_spool_test.cpp)
target_link_libraries(recorder_spool_test PRIVATE dd_recorder dd_test_support GTest::gtest_main)
gtest_discover_tests(recorder_spool_test DISCOVERY_MODE PRE_TEST PROPERTIES LABELS audio)
