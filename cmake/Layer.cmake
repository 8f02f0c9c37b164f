# Each folder under src/ is one layer and one target. rz417_layer(TARGET) makes the folder's
# headers visible as "folder/Header.h" to the target and to whatever links it, and to nothing
# else: the include root it exposes holds the folder alone (a link to it), not all of src/.
# The order of the layers, and which may include which, is in docs/architecture.md and checked
# by scripts/check-layers.
function(rz417_layer target)
    get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
    set(root ${CMAKE_CURRENT_BINARY_DIR}/include)
    file(MAKE_DIRECTORY ${root})
    if(NOT EXISTS ${root}/${folder})
        file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${folder} SYMBOLIC)
    endif()
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
        target_include_directories(${target} PRIVATE ${root})
    else()
        target_include_directories(${target} PUBLIC ${root})
    endif()
    target_link_libraries(${target} PRIVATE rz417_warnings)
endfunction()
