# Windows modules (any Windows compiler).

# orvo_windows_module(<target>): the module's own library entry point in
# source/module/orvoentry.cpp stores the instance handle and the module folder
# and exports InitDll/ExitDll, so the SDK's default one (dllmain.cpp, which
# defines the same symbols) stays out.
function(orvo_windows_module target)
    get_target_property(sources ${target} SOURCES)
    list(FILTER sources EXCLUDE REGEX "/public\\.sdk/source/main/dllmain\\.cpp$")
    set_property(TARGET ${target} PROPERTY SOURCES ${sources})
    # Release modules ship without a symbol table (as the SDK strips on Linux).
    if(MINGW)
        target_link_options(${target} PRIVATE $<$<CONFIG:Release>:-s>)
    endif()
endfunction()
