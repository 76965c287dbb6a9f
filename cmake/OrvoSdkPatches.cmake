# orvo_apply_sdk_patch(<patch file>)
# Applies a unified diff (paths a/... b/... relative to the SDK root) to the
# VST 3 SDK tree in VST3_SDK_DIR at configure time. Idempotent: a patch that is
# already in the tree is skipped; one that neither applies nor is present
# stops the configuration, since building on an SDK in an unknown state would
# hide the fault the patch mends. Each patch file says in its header why it
# exists.
find_program(ORVO_PATCH_EXECUTABLE patch)

function(orvo_apply_sdk_patch patch_file)
    if(NOT ORVO_PATCH_EXECUTABLE)
        message(FATAL_ERROR "'patch' is needed to apply ${patch_file} to the SDK (apt-get install patch)")
    endif()
    get_filename_component(patch_name "${patch_file}" NAME)
    set(patch_args -p1 --force --forward --silent -d "${VST3_SDK_DIR}" -i "${patch_file}")
    # Already applied: the reverse applies cleanly.
    execute_process(COMMAND ${ORVO_PATCH_EXECUTABLE} -p1 --force --silent --reverse --dry-run
                            -d "${VST3_SDK_DIR}" -i "${patch_file}"
                    RESULT_VARIABLE reverse_result OUTPUT_QUIET ERROR_QUIET)
    if(reverse_result EQUAL 0)
        message(STATUS "SDK patch ${patch_name}: already applied")
        return()
    endif()
    execute_process(COMMAND ${ORVO_PATCH_EXECUTABLE} ${patch_args} --dry-run
                    RESULT_VARIABLE check_result OUTPUT_VARIABLE check_out ERROR_VARIABLE check_out)
    if(NOT check_result EQUAL 0)
        message(FATAL_ERROR "SDK patch ${patch_name} does not apply to ${VST3_SDK_DIR}:\n${check_out}")
    endif()
    execute_process(COMMAND ${ORVO_PATCH_EXECUTABLE} ${patch_args}
                    RESULT_VARIABLE apply_result OUTPUT_VARIABLE apply_out ERROR_VARIABLE apply_out)
    if(NOT apply_result EQUAL 0)
        message(FATAL_ERROR "SDK patch ${patch_name} failed on ${VST3_SDK_DIR}:\n${apply_out}")
    endif()
    message(STATUS "SDK patch ${patch_name}: applied")
endfunction()
