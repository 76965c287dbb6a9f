# Brings in the VST 3 SDK through its own CMake. The SDK tree is obtained by
# scripts/deps.sh; VST3_SDK_DIR names it (the script's cache by default).

set(VST3_SDK_DIR "" CACHE PATH "Root of the VST 3 SDK 3.7.10 tree")
if(NOT VST3_SDK_DIR)
    if(DEFINED ENV{VST3_SDK_DIR})
        set(VST3_SDK_DIR "$ENV{VST3_SDK_DIR}" CACHE PATH "" FORCE)
    else()
        set(VST3_SDK_DIR "${CMAKE_SOURCE_DIR}/.deps/vst3sdk-3.7.10" CACHE PATH "" FORCE)
    endif()
endif()
if(NOT EXISTS "${VST3_SDK_DIR}/CMakeLists.txt")
    message(FATAL_ERROR "VST 3 SDK not found at ${VST3_SDK_DIR}: run scripts/deps.sh first")
endif()

set(SMTG_ENABLE_VST3_PLUGIN_EXAMPLES OFF CACHE BOOL "" FORCE)
set(SMTG_ENABLE_VST3_HOSTING_EXAMPLES ON CACHE BOOL "" FORCE)
set(SMTG_ENABLE_VSTGUI_SUPPORT ON CACHE BOOL "" FORCE)
set(SMTG_CREATE_PLUGIN_LINK OFF CACHE BOOL "" FORCE)
set(SMTG_RUN_VST_VALIDATOR ON CACHE BOOL "" FORCE)

# Configure-time fixes to the SDK tree (see each patch's header).
include(OrvoSdkPatches)
orvo_apply_sdk_patch("${CMAKE_CURRENT_LIST_DIR}/patches/vstgui-x11-cairo-device.patch")

set(vst3sdk_SOURCE_DIR "${VST3_SDK_DIR}")
set(SDK_ROOT "${VST3_SDK_DIR}")
list(APPEND CMAKE_MODULE_PATH "${VST3_SDK_DIR}/cmake/modules")
include(SMTG_VST3_SDK)

include(OrvoDeliverables)

# Windows modules cross-built with MinGW-w64.
if(WIN32)
    include(OrvoWindows)
endif()
if(MINGW)
    include(OrvoMinGW)
    orvo_mingw_prepare_sdk()
endif()

# The SDK's own targets build only when something of ours needs them.
add_subdirectory("${VST3_SDK_DIR}" "${CMAKE_BINARY_DIR}/vst3sdk" EXCLUDE_FROM_ALL)
smtg_enable_vst3_sdk()

# The SDK's tools that the tests and the main job use.
if(MINGW)
    orvo_mingw_fix_sdk_targets()
    add_custom_target(orvo_sdk_tools ALL DEPENDS validator moduleinfotool)
else()
    add_custom_target(orvo_sdk_tools ALL DEPENDS validator editorhost)
endif()
