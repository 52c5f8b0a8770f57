# The services call three event functions of the window layer (platform/window/ui.h). Until the
# Win32 window layer exists, the Windows test programs link a stand-in for them: none of these
# tests opens a window. Once dd_window has sources of its own, the real ones are linked and
# DD_UI_STUB_SOURCES is empty.
get_target_property(dd_window_sources dd_window SOURCES)
list(FILTER dd_window_sources INCLUDE REGEX "\\.cpp$")
if(dd_window_sources)
    set(DD_UI_STUB_SOURCES "")
else()
    message(STATUS "No Win32 window layer yet: the Windows tests link tests/wine/ui_stub.cpp")
    # A library of headers alone has no language to link with; this lets the build be
    # generated, the test programs built, and the executable (which cannot link yet) left alone.
    set_target_properties(dd_window PROPERTIES LINKER_LANGUAGE CXX)
    set(DD_UI_STUB_SOURCES ${CMAKE_CURRENT_LIST_DIR}/ui_stub.cpp)
endif()
