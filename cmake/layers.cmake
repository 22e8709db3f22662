# Layering the compiler enforces. Sources include headers by their folder ("core/cpu.h"). A
# layer's include path is not the source root but a folder of links to its own source folders,
# and a target sees only the paths of the layers it links. So an include of a higher layer,
# or of a layer that was not linked, fails to compile instead of creeping in.

# kvx_layer(TARGET FOLDER...): TARGET's own headers live in FOLDER... of the source root.
function(kvx_layer target)
    set(dir ${PROJECT_BINARY_DIR}/layers/${target})
    file(MAKE_DIRECTORY ${dir})
    foreach(folder IN LISTS ARGN)
        if(NOT EXISTS ${dir}/${folder})
            file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${dir}/${folder} SYMBOLIC)
        endif()
    endforeach()
    target_include_directories(${target} PUBLIC ${dir})
endfunction()
