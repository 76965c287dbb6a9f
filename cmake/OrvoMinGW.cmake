# What the VST 3 SDK needs to build with MinGW-w64 on a Linux machine. Each
# change to the SDK is a patch in cmake/patches/mingw-*.patch or a shim header
# in cmake/mingw/include/, and says why in its first lines.

include(OrvoSdkPatches)
set(ORVO_CMAKE_DIR "${CMAKE_CURRENT_LIST_DIR}")

# Before the SDK is added.
macro(orvo_mingw_prepare_sdk)
    # The SDK runs its validator and moduleinfotool on the fresh bundle after
    # each build; Windows programs cannot run there on Linux, so the tests run
    # them under Wine instead (tests/windows).
    set(SMTG_RUN_VST_VALIDATOR OFF CACHE BOOL "" FORCE)
    set(SMTG_CREATE_MODULE_INFO OFF CACHE BOOL "" FORCE)
    set(SMTG_CREATE_BUNDLE_FOR_WINDOWS ON CACHE BOOL "" FORCE)

    foreach(patch aligned-alloc attrib-host-only vstgui-no-standalone
                  vstgui-dwrite-fontset vstgui-dcomp-visual3)
        orvo_apply_sdk_patch(${ORVO_CMAKE_DIR}/patches/mingw-${patch}.patch)
    endforeach()
    # <Windows.h> as spelled by some SDK sources.
    include_directories(SYSTEM "${ORVO_CMAKE_DIR}/mingw/include")
endmacro()

# After the SDK is added: its tools as Windows programs, VSTGUI's system
# libraries (MSVC takes them from #pragma comment(lib), which GCC ignores).
macro(orvo_mingw_fix_sdk_targets)
    if(TARGET vstgui)
        target_link_libraries(vstgui PUBLIC
            d2d1 dwrite d3d11 dwmapi opengl32 glu32 shlwapi windowscodecs)
    endif()
    # The tools' entry point is wmain (UTF-16 arguments).
    foreach(tool validator moduleinfotool editorhost)
        if(TARGET ${tool})
            target_link_options(${tool} PRIVATE -municode)
        endif()
    endforeach()
endmacro()
