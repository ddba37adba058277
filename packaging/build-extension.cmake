# Writes the extension as a browser loads it: its manifest, and each script
# the manifest names (the worker, each content script) joined with the
# modules it imports (join-modules.cmake). The modules stay in the source
# tree, where the tests import them.
#   cmake -DSOURCE=<extension> -DOUTPUT=<folder> -P build-extension.cmake
cmake_minimum_required(VERSION 3.20)
file(REMOVE_RECURSE ${OUTPUT})
file(MAKE_DIRECTORY ${OUTPUT})
file(READ ${SOURCE}/manifest.json manifest)

string(JSON scripts GET "${manifest}" background service_worker)
string(JSON entries LENGTH "${manifest}" content_scripts)
math(EXPR last_entry "${entries} - 1")
foreach(entry RANGE ${last_entry})
  string(JSON count LENGTH "${manifest}" content_scripts ${entry} js)
  math(EXPR last_script "${count} - 1")
  foreach(index RANGE ${last_script})
    string(JSON script GET "${manifest}" content_scripts ${entry} js ${index})
    list(APPEND scripts ${script})
  endforeach()
endforeach()

foreach(script IN LISTS scripts)
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE=${SOURCE} -DENTRY=${script} -DOUTPUT=${OUTPUT}/${script}
                          -P ${CMAKE_CURRENT_LIST_DIR}/join-modules.cmake
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
file(COPY ${SOURCE}/manifest.json DESTINATION ${OUTPUT})
# The copied manifest keeps its source's time; the build's rules go by the
# time of this output (Firefox's copy is made again when it is newer), so it
# takes the time of this build.
file(TOUCH ${OUTPUT}/manifest.json)
