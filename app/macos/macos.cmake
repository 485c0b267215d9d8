# macOS: the bundle's reverse-domain identifier, version and icon (an .icns
# made from the SVG while building), with the report program inside it, so
# that one bundle carries both and macdeployqt fixes both.
include(${CMAKE_CURRENT_LIST_DIR}/../icons/icons.cmake)

# A bundle identifier holds letters, digits, hyphens and periods only (Apple's
# rule): the underscores of APP_ID become hyphens.
string(REPLACE "_" "-" MACOS_BUNDLE_ID ${APP_ID})
if(NOT MACOS_BUNDLE_ID MATCHES "^[A-Za-z0-9.-]+$")
    message(FATAL_ERROR "${MACOS_BUNDLE_ID} is not a bundle identifier Apple accepts")
endif()

set(MACOS_ICON ${CMAKE_BINARY_DIR}/icons/calculus-study.icns)
# 512 and 1024 are the Retina sides of Finder's largest views.
add_icon_file(icns ${MACOS_ICON} 16 32 64 128 256 512 1024)
target_sources(calculus-study PRIVATE ${MACOS_ICON})
set_source_files_properties(${MACOS_ICON} PROPERTIES MACOSX_PACKAGE_LOCATION Resources)
set_target_properties(calculus-study PROPERTIES
    MACOSX_BUNDLE_GUI_IDENTIFIER ${MACOS_BUNDLE_ID}
    MACOSX_BUNDLE_BUNDLE_NAME "Calculus Study"
    MACOSX_BUNDLE_BUNDLE_VERSION ${PROJECT_VERSION}
    MACOSX_BUNDLE_SHORT_VERSION_STRING ${PROJECT_VERSION}
    MACOSX_BUNDLE_LONG_VERSION_STRING ${PROJECT_VERSION}
    MACOSX_BUNDLE_ICON_FILE calculus-study.icns
    MACOSX_BUNDLE_COPYRIGHT "${PROJECT_COPYRIGHT}"
    MACOSX_BUNDLE_INFO_STRING "Calculus Study ${PROJECT_VERSION}")
set_target_properties(calculus-study-report calculus-study-review calculus-study-class-report PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY $<TARGET_BUNDLE_CONTENT_DIR:calculus-study>/MacOS)

# A disk image holding the bundle, made by cpack after macdeployqt (README).
set(CPACK_GENERATOR DragNDrop)
