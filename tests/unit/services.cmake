# The run-time services: texts, date-time text, run directory, files, the WAV reader, the
# sound player's refusal of unplayable data (which needs no sound server), and the end of the
# program.
add_executable(services_test
    ${CMAKE_CURRENT_LIST_DIR}/services_text.cpp
    ${CMAKE_CURRENT_LIST_DIR}/services_datetime.cpp
    ${CMAKE_CURRENT_LIST_DIR}/services_rundir.cpp
    ${CMAKE_CURRENT_LIST_DIR}/services_files.cpp
    ${CMAKE_CURRENT_LIST_DIR}/services_wav.cpp
    ${CMAKE_CURRENT_LIST_DIR}/services_player.cpp
    ${CMAKE_CURRENT_LIST_DIR}/services_exit.cpp
)
target_link_libraries(services_test PRIVATE dd_services GTest::gtest_main)
if(WIN32)
    # Runs under wine64 with the same zone (tests/wine).
else()
    target_sources(services_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/services_recording_folder.cpp)
    # A zone far from UTC, given as a POSIX rule so that no time-zone database is needed: local
    # time and universal time then differ by eight hours.
    gtest_discover_tests(services_test DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES
                         PROPERTIES ENVIRONMENT "TZ=CST-8")
endif()
