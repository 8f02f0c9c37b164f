# GoogleTest for the tests: the system's on a native build. A cross build compiles Debian's source
# of it (package googletest) with the cross compiler, under the names find_package gives.
if(NOT CMAKE_CROSSCOMPILING)
    find_package(GTest REQUIRED)
    return()
endif()

set(RZ417_GOOGLETEST_SOURCE /usr/src/googletest
    CACHE PATH "GoogleTest's source, built with the cross compiler")
if(NOT EXISTS ${RZ417_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest's source is not at ${RZ417_GOOGLETEST_SOURCE}: install "
                        "Debian's package googletest or set RZ417_GOOGLETEST_SOURCE")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${RZ417_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# GoogleTest's own build names them GTest::gtest and so on from 1.11 on.
foreach(lib gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${lib})
        add_library(GTest::${lib} ALIAS ${lib})
    endif()
endforeach()
