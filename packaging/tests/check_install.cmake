# Installs the build into a staging root, as the Debian package does, and checks that the panel,
# rz417ctl with its manual page, the licence, the desktop entry, icons and metadata land where
# users, desktops and software centres look, and that
# AppStream accepts them together (the metadata names the desktop entry, the entry the icon).
#   cmake -DBUILD_DIR=... -DSTAGE_DIR=... -DAPPSTREAMCLI=... -DAPP_ID=... -DBINDIR=... -DDATADIR=...
#         -DMANDIR=...
#         -P check_install.cmake

file(REMOVE_RECURSE "${STAGE_DIR}")
set(ENV{DESTDIR} "${STAGE_DIR}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix /usr
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(root "${STAGE_DIR}/usr")
set(expected
    "${BINDIR}/rz417"
    "${BINDIR}/rz417ctl"
    "${MANDIR}/man1/rz417ctl.1.gz"
    "${DATADIR}/doc/rz417/copyright"
    "${DATADIR}/applications/${APP_ID}.desktop"
    "${DATADIR}/metainfo/${APP_ID}.metainfo.xml"
    "${DATADIR}/icons/hicolor/16x16/apps/rz417.png"
    "${DATADIR}/icons/hicolor/32x32/apps/rz417.png"
    "${DATADIR}/icons/hicolor/scalable/apps/rz417.svg")
set(missing "")
foreach(path IN LISTS expected)
    if(NOT EXISTS "${root}/${path}")
        list(APPEND missing "/usr/${path}")
    endif()
endforeach()
if(missing)
    message(FATAL_ERROR "not installed: ${missing}")
endif()

# The licence the package ships is the one the metadata declares.
file(READ "${root}/${DATADIR}/doc/rz417/copyright" copyright)
file(READ "${root}/${DATADIR}/metainfo/${APP_ID}.metainfo.xml" metainfo)
if(NOT copyright MATCHES "^MIT License" OR NOT metainfo MATCHES "<project_license>MIT<")
    message(FATAL_ERROR "the installed copyright and the metadata's licence disagree")
endif()

execute_process(COMMAND "${APPSTREAMCLI}" validate-tree --no-net --strict --explain "${STAGE_DIR}"
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "appstreamcli validate-tree rejected the installed files")
endif()
