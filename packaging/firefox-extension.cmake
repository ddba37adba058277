# Writes Firefox's copy of the built extension: the same scripts, with a
# manifest that runs the worker's script as a background script (Firefox has
# no extension service worker) and names the add-on, then packs it as an .xpi.
#   cmake -DSOURCE=<extension> -DOUTPUT=<folder> -DXPI=<file> -P firefox-extension.cmake
file(REMOVE_RECURSE ${OUTPUT})
file(COPY ${SOURCE}/ DESTINATION ${OUTPUT})
file(READ ${SOURCE}/manifest.json manifest)

string(JSON manifest SET "${manifest}" background "{\"scripts\": [\"background.js\"]}")
# Main-world content scripts came in Firefox 128, the declaration of what an
# add-on sends where in 140 (142 on Android; older versions would only warn
# of the key).
# What this one sends goes to the wendlebox program on this machine: the
# page's content (prompts, replies), and nothing to its developers.
string(JSON manifest SET "${manifest}" browser_specific_settings [=[{
  "gecko": {
    "id": "wendlebox@wendlebox.example",
    "strict_min_version": "140.0",
    "data_collection_permissions": { "required": ["websiteContent"] }
  },
  "gecko_android": { "strict_min_version": "142.0" }
}]=])
file(WRITE ${OUTPUT}/manifest.json "${manifest}\n")

file(REMOVE ${XPI})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${XPI} --format=zip .
                WORKING_DIRECTORY ${OUTPUT} COMMAND_ERROR_IS_FATAL ANY)
