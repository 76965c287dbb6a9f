# orvo_apply_sdk_patch(<patchfile>): applies one of our patches to the unpacked
# SDK tree (VST3_SDK_DIR) at configure time. Idempotent: a patch that is already
# in place (it reverses cleanly) is skipped; one that neither applies nor
# reverses stops the configuration, since the build would silently use the
# unpatched SDK otherwise. Patch paths are relative to the SDK root (-p1).
find_program(ORVO_PATCH_EXECUTABLE patch)

function(orvo_apply_sdk_patch patchfile)
    if(NOT ORVO_PATCH_EXECUTABLE)
        message(FATAL_ERROR "'patch' is needed to prepare the SDK: run scripts/deps.sh")
    endif()
    get_filename_component(patchfile "${patchfile}" ABSOLUTE)
    get_filename_component(name "${patchfile}" NAME)
    set(args -p1 --batch --silent --forward --no-backup-if-mismatch -d "${VST3_SDK_DIR}" -i "${patchfile}")
    execute_process(COMMAND ${ORVO_PATCH_EXECUTABLE} --dry-run -R ${args}
        RESULT_VARIABLE reversed OUTPUT_QUIET ERROR_QUIET)
    if(reversed EQUAL 0)
        message(STATUS "SDK patch ${name}: already applied")
        return()
    endif()
    execute_process(COMMAND ${ORVO_PATCH_EXECUTABLE} --dry-run ${args}
        RESULT_VARIABLE fits OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT fits EQUAL 0)
        message(FATAL_ERROR "SDK patch ${name} does not apply to ${VST3_SDK_DIR}:\n${out}")
    endif()
    execute_process(COMMAND ${ORVO_PATCH_EXECUTABLE} ${args}
        RESULT_VARIABLE applied OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT applied EQUAL 0)
        message(FATAL_ERROR "SDK patch ${name} failed on ${VST3_SDK_DIR}:\n${out}")
    endif()
    message(STATUS "SDK patch ${name}: applied")
endfunction()
