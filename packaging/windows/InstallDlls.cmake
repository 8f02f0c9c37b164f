# At install time: copies the DLLs that RZ417_BINARIES import, directly or through each other,
# from RZ417_DLL_DIRS beside the programs. Fails on an import that is neither there nor a DLL of
# Windows itself (RZ417_SYSTEM_DLLS), rather than making an installation that cannot start.
file(GET_RUNTIME_DEPENDENCIES
    EXECUTABLES ${RZ417_BINARIES}
    DIRECTORIES ${RZ417_DLL_DIRS}
    RESOLVED_DEPENDENCIES_VAR found
    UNRESOLVED_DEPENDENCIES_VAR not_found
    # The API sets are names Windows resolves itself; there are no such files.
    PRE_EXCLUDE_REGEXES "^[Aa][Pp][Ii]-[Mm][Ss]-" "^[Ee][Xx][Tt]-[Mm][Ss]-")

file(GLOB system_dlls RELATIVE "${RZ417_SYSTEM_DLLS}" "${RZ417_SYSTEM_DLLS}/*.dll")
string(TOLOWER "${system_dlls}" system_dlls)
foreach(dll IN LISTS not_found)
    string(TOLOWER "${dll}" name)
    if(NOT name IN_LIST system_dlls)
        message(FATAL_ERROR "${dll} is imported but is neither in ${RZ417_DLL_DIRS} nor a DLL "
                            "of Windows")
    endif()
endforeach()

list(SORT found)
file(INSTALL ${found} DESTINATION "${CMAKE_INSTALL_PREFIX}")
