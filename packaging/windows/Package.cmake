# The Windows installation: one folder with both programs, the DLLs they load and Qt's plugin
# folders beside them, the manual as text, and CPack's 64-bit NSIS installer and a zip of it.
# Included from packaging/CMakeLists.txt on a Windows build.

# The manual page as text for Notepad: no overstriking, CRLF line ends.
find_program(RZ417_GROFF groff REQUIRED)
set(manual_text ${CMAKE_CURRENT_BINARY_DIR}/rz417ctl.txt)
add_custom_command(OUTPUT ${manual_text}
    COMMAND sh -c "\"$1\" -man -Tutf8 -P-cbou \"$2\" | sed 's/$/\\r/' > \"$3\""
            sh ${RZ417_GROFF} ${PROJECT_SOURCE_DIR}/src/ctl/rz417ctl.1 ${manual_text}
    DEPENDS ${PROJECT_SOURCE_DIR}/src/ctl/rz417ctl.1 VERBATIM)
add_custom_target(rz417ctl_manual_text ALL DEPENDS ${manual_text})
install(FILES ${manual_text} DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)

# Qt loads these by name at run time, so no import names them: the window system's platform
# plugin and the native style.
set(plugins Qt6::QWindowsIntegrationPlugin Qt6::QWindowsVistaStylePlugin)
set(plugin_dirs platforms styles)
set(plugin_files)
foreach(plugin dir IN ZIP_LISTS plugins plugin_dirs)
    if(NOT TARGET ${plugin})
        message(FATAL_ERROR "This Qt for Windows has no ${plugin}")
    endif()
    install(FILES $<TARGET_FILE:${plugin}> DESTINATION ${dir})
    list(APPEND plugin_files $<TARGET_FILE:${plugin}>)
endforeach()

# Every other DLL is found from the imports of the programs and plugins, recursively, in the
# folders of cmake/WindowsRuntime.cmake. What is found nowhere must be part of Windows: Wine's
# own copies of the system DLLs tell those apart from a DLL that was forgotten.
find_program(RZ417_OBJDUMP x86_64-w64-mingw32-objdump REQUIRED)
set(RZ417_WINDOWS_SYSTEM_DLLS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows CACHE PATH
    "A folder of the DLLs Windows itself provides (Wine's)")
install(CODE "
    set(RZ417_OBJDUMP \"${RZ417_OBJDUMP}\")
    set(RZ417_DLL_DIRS \"${RZ417_WINDOWS_DLL_DIRS}\")
    set(RZ417_SYSTEM_DLLS \"${RZ417_WINDOWS_SYSTEM_DLLS}\")
    set(RZ417_BINARIES \"$<TARGET_FILE:rz417>;$<TARGET_FILE:rz417ctl>;${plugin_files}\")
    include(\"${CMAKE_CURRENT_LIST_DIR}/InstallDlls.cmake\")
")

# CPack: RZ-417-1.00-win64.exe and .zip, the version as the program's identity record has it.
set(RZ417_WINDOWS_VERSION ${RZ417_VERSION_TEXT})

list(APPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})
set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_NAME RZ-417)
set(CPACK_PACKAGE_VENDOR ${RZ417_COMPANY})
set(CPACK_PACKAGE_VERSION ${RZ417_WINDOWS_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
set(CPACK_PACKAGE_FILE_NAME RZ-417-${RZ417_WINDOWS_VERSION}-win64)
# The tests under Wine install this.
set(RZ417_WINDOWS_INSTALLER ${CMAKE_BINARY_DIR}/${CPACK_PACKAGE_FILE_NAME}.exe CACHE INTERNAL "")
set(CPACK_PACKAGE_INSTALL_DIRECTORY RZ-417)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY RZ-417)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
# The Start-menu folder "RZ-417" with the panel, the manual and the uninstaller.
set(CPACK_PACKAGE_EXECUTABLES RZ417 RZ-417)
set(CPACK_NSIS_MENU_LINKS rz417ctl.txt "rz417ctl manual")
set(CPACK_NSIS_PACKAGE_NAME RZ-417)
set(CPACK_NSIS_DISPLAY_NAME RZ-417)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_MUI_ICON ${CMAKE_CURRENT_LIST_DIR}/rz417.ico)
set(CPACK_NSIS_MUI_UNIICON ${CMAKE_CURRENT_LIST_DIR}/rz417.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME RZ417.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
