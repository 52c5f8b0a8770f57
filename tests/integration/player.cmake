# The sound player against a private PulseAudio server: what it plays is recorded from the
# null sink's monitor and compared with what was played.
add_executable(player_test
    ${CMAKE_CURRENT_LIST_DIR}/player_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/player_monitor.cpp
    ${CMAKE_CURRENT_LIST_DIR}/player_monitor.h
)
target_link_libraries(player_test PRIVATE dd_services dd_test_support PkgConfig::PULSE
                                          GTest::gtest_main)
gtest_discover_tests(player_test DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES
                     PROPERTIES TIMEOUT 120 LABELS audio)
