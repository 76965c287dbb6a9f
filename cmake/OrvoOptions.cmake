# Compiler settings shared by the project's own targets (never applied to the SDK).

find_program(ORVO_CCACHE ccache)
if(ORVO_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
    set(CMAKE_C_COMPILER_LAUNCHER "${ORVO_CCACHE}")
    set(CMAKE_CXX_COMPILER_LAUNCHER "${ORVO_CCACHE}")
endif()

# orvo_target_defaults(<target>): warnings on and clean, optional sanitizers.
function(orvo_target_defaults target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(ORVO_SANITIZE)
        target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer)
        target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    endif()
endfunction()
