# What the VST 3 SDK needs to build with MinGW-w64 on a Linux machine. Each
# change to the SDK is a patch or a shim header in cmake/mingw/ that says why.

include(OrvoSdkPatches)

# Before the SDK is added.
macro(orvo_mingw_prepare_sdk)
    # The SDK runs its validator and moduleinfotool on the fresh bundle after
    # each build; Windows programs cannot run there on Linux, so the tests run
    # them under Wine instead (tests/windows).
    set(SMTG_RUN_VST_VALIDATOR OFF CACHE BOOL "" FORCE)
    set(SMTG_CREATE_MODULE_INFO OFF CACHE BOOL "" FORCE)
    set(SMTG_CREATE_BUNDLE_FOR_WINDOWS ON CACHE BOOL "" FORCE)

    orvo_apply_sdk_patch(mingw/sdk-aligned-alloc.patch)
    orvo_apply_sdk_patch(mingw/sdk-attrib-host-only.patch)
    orvo_apply_sdk_patch(mingw/sdk-vstgui-no-standalone.patch)
    # <Windows.h> as spelled by some SDK sources.
    include_directories(SYSTEM "${CMAKE_CURRENT_LIST_DIR}/mingw/shim")
endmacro()

# After the SDK is added: its tools as Windows programs.
macro(orvo_mingw_fix_sdk_targets)
    # The tools' entry point is wmain (UTF-16 arguments).
    foreach(tool validator moduleinfotool editorhost)
        if(TARGET ${tool})
            target_link_options(${tool} PRIVATE -municode)
        endif()
    endforeach()
endmacro()
