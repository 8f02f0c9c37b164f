# At install time: copies the DLLs that RZ417_BINARIES import, directly or through each other,
# from RZ417_DLL_DIRS beside the programs. Fails on an import that is neither there nor a DLL of
# Windows itself (RZ417_SYSTEM_DLLS), rather than making an installation that cannot start.
# The imports are read with RZ417_OBJDUMP -p. Windows matches DLL names in any case, and so does
# this; CMake's own file(GET_RUNTIME_DEPENDENCIES) lowercases them and then misses Qt6Core.dll on
# a case-sensitive file system.

# Every DLL of the folders by its name in lower case; the first folder that has it wins.
foreach(dir IN LISTS RZ417_DLL_DIRS)
    file(GLOB dlls "${dir}/*.dll" "${dir}/*.DLL")
    foreach(path IN LISTS dlls)
        get_filename_component(name "${path}" NAME)
        string(TOLOWER "${name}" name)
        if(NOT DEFINED "dll_${name}")
            set("dll_${name}" "${path}")
        endif()
    endforeach()
endforeach()

file(GLOB system_dlls RELATIVE "${RZ417_SYSTEM_DLLS}" "${RZ417_SYSTEM_DLLS}/*.dll")
string(TOLOWER "${system_dlls}" system_dlls)

set(queue ${RZ417_BINARIES})
set(seen)
set(found)
while(queue)
    list(POP_FRONT queue binary)
    execute_process(COMMAND "${RZ417_OBJDUMP}" -p "${binary}" OUTPUT_VARIABLE dump
                    RESULT_VARIABLE status ERROR_VARIABLE why)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${RZ417_OBJDUMP} could not read ${binary}: ${why}")
    endif()
    string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${dump}")
    foreach(line IN LISTS imports)
        string(REGEX REPLACE "^DLL Name: " "" dll "${line}")
        string(STRIP "${dll}" dll)
        string(TOLOWER "${dll}" name)
        list(FIND seen "${name}" at)
        if(NOT at EQUAL -1)
            continue()
        endif()
        list(APPEND seen "${name}")
        # The API sets are names Windows resolves itself; there are no such files.
        if(name MATCHES "^(api|ext)-ms-")
            continue()
        endif()
        if(DEFINED "dll_${name}")
            list(APPEND found "${dll_${name}}")
            list(APPEND queue "${dll_${name}}")
            continue()
        endif()
        list(FIND system_dlls "${name}" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "${dll}, imported by ${binary}, is neither in ${RZ417_DLL_DIRS} "
                                "nor a DLL of Windows")
        endif()
    endforeach()
endwhile()

list(SORT found)
file(INSTALL ${found} DESTINATION "${CMAKE_INSTALL_PREFIX}")
