# Where a Windows build's programs find the DLLs they were linked against: Qt's folder and the
# compiler's runtime (libstdc++, libgcc, winpthreads). Wine runs the tests with these on the DLL
# path, and the installation copies from here the DLLs the programs import.
if(NOT WIN32)
    return()
endif()
set(RZ417_WINDOWS_DLL_DIRS "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}")
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                        OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(NOT IS_ABSOLUTE "${path}")
            message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
        endif()
        get_filename_component(dir "${path}" DIRECTORY)
        get_filename_component(dir "${dir}" REALPATH)
        list(APPEND RZ417_WINDOWS_DLL_DIRS "${dir}")
    endforeach()
endif()
list(REMOVE_DUPLICATES RZ417_WINDOWS_DLL_DIRS)
