# A cross build for Windows runs its programs under Wine: the tests, and GoogleTest's listing of
# them at build time. Set before the targets are made, since each takes its emulator from here.
if(NOT (WIN32 AND CMAKE_CROSSCOMPILING) OR CMAKE_CROSSCOMPILING_EMULATOR)
    return()
endif()
find_program(RZ417_WINE wine)
if(NOT RZ417_WINE)
    message(STATUS "Wine not found: the Windows tests can be built but not run here")
    return()
endif()

set(RZ417_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/wine-run)
set(RZ417_WINEPREFIX "${CMAKE_BINARY_DIR}/wine" CACHE PATH
    "Wine prefix the tests run in; made on first use")
set(RZ417_WINE_ARGS --prefix ${RZ417_WINEPREFIX})
foreach(dir IN LISTS RZ417_WINDOWS_DLL_DIRS)
    list(APPEND RZ417_WINE_ARGS --dll-dir ${dir})
endforeach()
set(CMAKE_CROSSCOMPILING_EMULATOR ${RZ417_WINE_RUN} ${RZ417_WINE_ARGS} --)

# Making the prefix takes half a minute or more, longer than GoogleTest waits for a listing: make
# it now, once, rather than at the first test program's build.
if(NOT EXISTS ${RZ417_WINEPREFIX}/.rz417-ready)
    message(STATUS "Making the Wine prefix ${RZ417_WINEPREFIX}")
    execute_process(COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} cmd /c exit
                    RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "Wine could not make the prefix ${RZ417_WINEPREFIX} (${result})")
    endif()
endif()
