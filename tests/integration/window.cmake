# The window layer against real Qt widgets on a private X server. Each test runs in a process
# of its own, which starts its own Xvfb (see window_main.cpp); the window-manager tests start
# openbox on that server themselves. Needs Xvfb, xdotool, xprop and openbox.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
find_package(X11 REQUIRED)

add_executable(window_test
    ${CMAKE_CURRENT_LIST_DIR}/window_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/window_support.cpp
    ${CMAKE_CURRENT_LIST_DIR}/window_support.h
    ${CMAKE_CURRENT_LIST_DIR}/window_x11.cpp
    ${CMAKE_CURRENT_LIST_DIR}/window_form_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/window_ui_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/window_start_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/window_wm_test.cpp
    # The real main window's definition, plain data, without the rest of the application,
    # and the application's icon, which the window layer picks up when it is there.
    ${CMAKE_CURRENT_LIST_DIR}/../../app/main_window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../../resources/resources.qrc
)
set_target_properties(window_test PROPERTIES AUTORCC ON)
target_link_libraries(window_test PRIVATE dd_window Qt6::Widgets Qt6::Test X11::X11 GTest::gtest)

# The lock keeps them apart from other tests that drive X servers and the pointer.
gtest_discover_tests(window_test
    DISCOVERY_MODE PRE_TEST
    PROPERTIES RESOURCE_LOCK xvfb TIMEOUT 120
)
