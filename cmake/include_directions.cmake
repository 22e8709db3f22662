cmake_minimum_required(VERSION 3.25)
# The allowed include directions between the source folders. Each folder may include its own
# headers and those of the folders listed for it, nothing else; the build's include paths
# enforce the same, this check makes the rule readable and names the offending line.
#
#   core, operands, instructions   one layer: the CPU makes operands and instructions
#   loader                         -> core layer
#   session                        -> loader, core layer
#   scenario (testing programs)    -> session, loader, core layer
#   cli (the runner)               -> scenario, session, loader, core layer
#   frontend (the window)          -> scenario, session, loader, core layer
#   web (the browser's engine)     -> scenario, session, loader, core layer
#   tests, bench, fuzz             -> anything
#
# Nothing but the window itself includes the window's code. Headers are named from the source
# root ("core/cpu.h") or, in the same folder, by name alone; a path that climbs with ".." would
# reach any folder past the layers' include paths, so it is refused wherever it stands.

set(core_layer core operands instructions)
set(allowed_core ${core_layer})
set(allowed_operands ${core_layer})
set(allowed_instructions ${core_layer})
set(allowed_loader ${core_layer} loader)
set(allowed_session ${core_layer} loader session)
set(allowed_scenario ${core_layer} loader session scenario)
set(allowed_cli ${core_layer} loader session scenario cli)
set(allowed_frontend ${core_layer} loader session scenario frontend)
set(allowed_web ${core_layer} loader session scenario web)
set(project_folders ${core_layer} loader session scenario cli frontend web tests bench fuzz)

set(violations "")
foreach(folder core operands instructions loader session scenario cli frontend web)
    file(GLOB_RECURSE sources RELATIVE ${ROOT}
         ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp ${ROOT}/${folder}/*.l)
    foreach(source IN LISTS sources)
        file(STRINGS ${ROOT}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
            if(header MATCHES "(^|/)\\.\\.(/|$)")
                string(APPEND violations "  ${source}: ${header} climbs with ..\n")
                continue()
            endif()
            string(REGEX MATCH "^[^/]+" target "${header}")
            if(NOT header MATCHES "/" OR NOT target IN_LIST project_folders)
                continue()
            endif()
            if(NOT target IN_LIST allowed_${folder})
                string(APPEND violations "  ${source}: ${folder}/ may not include ${header}\n")
            endif()
        endforeach()
    endforeach()
endforeach()

if(violations)
    message(FATAL_ERROR "Includes against the layering:\n${violations}")
endif()
