# Windows: each program's icon and version information, and what the
# installer (CPack's NSIS) puts beside them, as windeployqt would: the Qt
# DLLs, the platform and style plugins, and the compiler's runtime.
include(${CMAKE_CURRENT_LIST_DIR}/../icons/icons.cmake)

set(WINDOWS_ICON ${CMAKE_BINARY_DIR}/icons/calculus-study.ico)
# The sides Explorer and the task bar ask for at 100 % to 200 % scaling.
add_icon_file(ico ${WINDOWS_ICON} 16 24 32 48 64 256)
add_custom_target(windows_icon DEPENDS ${WINDOWS_ICON})
set(WINDOWS_RESOURCE_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/version.rc.in)

# Gives `target` the icon and a version resource naming it by `description`.
function(add_windows_resources target description)
    set(RC_NAME ${target})
    set(RC_DESCRIPTION ${description})
    set(RC_ICON ${WINDOWS_ICON})
    set(resource ${CMAKE_BINARY_DIR}/resources/${target}.rc)
    configure_file(${WINDOWS_RESOURCE_TEMPLATE} ${resource} @ONLY)
    target_sources(${target} PRIVATE ${resource})
    add_dependencies(${target} windows_icon)
    if(NOT CMAKE_VERSION VERSION_LESS 3.18)
        get_target_property(target_dir ${target} SOURCE_DIR)
        set_source_files_properties(${resource} DIRECTORY ${target_dir} PROPERTIES OBJECT_DEPENDS ${WINDOWS_ICON})
    endif()
endfunction()

add_windows_resources(calculus-study "Calculus Study, a study program for Applied Calculus I")
add_windows_resources(calculus-study-report "Calculus Study report, the instructor's report of students' files")
add_windows_resources(calculus-study-review "Calculus Study review, a walk through your own weak questions")
add_windows_resources(calculus-study-class-report "Calculus Study class report, the instructor's report without a console")

# Found beside the program: Qt looks for plugins in the program's folder.
install(FILES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
        DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION ${CMAKE_INSTALL_BINDIR}/platforms)
# The window draws with Fusion; the dialogs keep the system's own look.
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION ${CMAKE_INSTALL_BINDIR}/styles)
# PNG, the one picture format the programs read, is built into Qt's Gui:
# no image format plugin is needed.

if(MINGW)
    # GCC's runtime and the threads library, where the compiler finds them.
    foreach(dll libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                        OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(NOT IS_ABSOLUTE "${found}" OR NOT EXISTS "${found}")
            message(FATAL_ERROR "The compiler does not know where ${dll} is; the installer needs it")
        endif()
        install(FILES ${found} DESTINATION ${CMAKE_INSTALL_BINDIR})
        list(APPEND runtime_dlls ${dll})
    endforeach()
    # Debian's copies keep their symbols: libstdc++ is 24 MB with them, 2 MB without.
    install(CODE "set(strip \"${CMAKE_STRIP}\")\nset(dlls \"${runtime_dlls}\")\nset(bindir \"${CMAKE_INSTALL_BINDIR}\")")
    install(CODE [[
        if(CMAKE_INSTALL_DO_STRIP)
            foreach(dll IN LISTS dlls)
                execute_process(COMMAND "${strip}" --strip-unneeded "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${bindir}/${dll}"
                                RESULT_VARIABLE failed)
                if(failed)
                    message(FATAL_ERROR "${strip} could not strip ${dll}")
                endif()
            endforeach()
        endif()
    ]])
else()
    include(InstallRequiredSystemLibraries)
endif()

# The installer: a Start-menu entry for the program, an uninstaller, and an
# entry in Windows' list of installed programs with the icon and version.
set(CPACK_GENERATOR NSIS64)
# A 64-bit installer for the 64-bit programs; NSIS makes 32-bit ones unless told.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Calculus Study")
# A Start-menu name holds no colon (it is a file name): a dash stands for it.
set(CPACK_PACKAGE_EXECUTABLES calculus-study "Calculus Study"
                              calculus-study-review "Calculus Study - review my weak questions"
                              calculus-study-class-report "Calculus Study - class report")
set(CPACK_NSIS_DISPLAY_NAME "Calculus Study ${PROJECT_VERSION}")
set(CPACK_NSIS_PACKAGE_NAME "Calculus Study")
set(CPACK_NSIS_MUI_ICON ${WINDOWS_ICON})
set(CPACK_NSIS_MUI_UNIICON ${WINDOWS_ICON})
set(CPACK_NSIS_INSTALLED_ICON_NAME "${CMAKE_INSTALL_BINDIR}\\\\calculus-study.exe")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
