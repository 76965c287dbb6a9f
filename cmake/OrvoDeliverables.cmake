# orvo_deliverable(<kind> <path>): records where the build puts one of the
# files a user installs, for scripts/package.sh: <build>/deliverables/<kind>
# holds the path (generator expressions allowed). Kinds: vst3 (the bundle
# folder), vst2 (the VST 2 module file).
function(orvo_deliverable kind path)
    file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/deliverables/${kind}" CONTENT "${path}\n")
endfunction()
