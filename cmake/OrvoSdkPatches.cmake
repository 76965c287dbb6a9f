# orvo_apply_sdk_patch(<patchfile>): applies a unified diff (paths relative to
# the SDK root, -p1) to the SDK tree in VST3_SDK_DIR at configure time.
# Idempotent: a patch that is already in place is left alone; one that neither
# applies nor is already applied stops the configuration, so an SDK update that
# moves the patched lines cannot go unnoticed.

find_program(ORVO_PATCH_TOOL patch)

function(orvo_apply_sdk_patch patchfile)
    if(NOT IS_ABSOLUTE "${patchfile}")
        set(patchfile "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${patchfile}")
    endif()
    if(NOT ORVO_PATCH_TOOL)
        message(FATAL_ERROR "The 'patch' program is needed to apply ${patchfile} to the VST 3 SDK")
    endif()
    get_filename_component(name "${patchfile}" NAME)
    set(args -p1 --silent -d "${VST3_SDK_DIR}" -i "${patchfile}")
    # Already applied when it reverses cleanly (-f: never guess "reversed").
    execute_process(COMMAND ${ORVO_PATCH_TOOL} ${args} --dry-run --reverse --force
                    RESULT_VARIABLE applied OUTPUT_QUIET ERROR_QUIET)
    if(applied EQUAL 0)
        return()
    endif()
    execute_process(COMMAND ${ORVO_PATCH_TOOL} ${args} --dry-run --forward --batch
                    RESULT_VARIABLE fits OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT fits EQUAL 0)
        message(FATAL_ERROR "SDK patch ${name} does not apply to ${VST3_SDK_DIR}:\n${out}")
    endif()
    execute_process(COMMAND ${ORVO_PATCH_TOOL} ${args} --forward --batch --no-backup-if-mismatch
                    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "SDK patch ${name} failed:\n${out}")
    endif()
    message(STATUS "SDK patch applied: ${name}")
endfunction()
