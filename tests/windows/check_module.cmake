# cmake -DOBJDUMP=<objdump> -DMODULE=<dll> -DEXPORTS=<a;b;...> -P check_module.cmake
#
# A Windows module loads on a bare system only if it imports nothing but the
# system's own DLLs (MinGW's libstdc++, libgcc and winpthread are linked in,
# never imported), and it exports its entry points and nothing else.

cmake_minimum_required(VERSION 3.22)

set(system_dlls
    kernel32 user32 gdi32 ole32 oleaut32 shell32 shlwapi advapi32 comdlg32 comctl32
    msvcrt ucrtbase version winmm imm32 uxtheme dwmapi d2d1 dwrite d3d11 dxgi
    windowscodecs opengl32 winspool)

execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} cannot read ${MODULE}")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
if(NOT imports)
    message(FATAL_ERROR "no import table found in ${MODULE}")
endif()
set(bad "")
foreach(line IN LISTS imports)
    string(REGEX REPLACE "DLL Name: ([^\n]+)" "\\1" dll "${line}")
    string(TOLOWER "${dll}" name)
    string(REGEX REPLACE "\\.dll$" "" name "${name}")
    if(NOT name IN_LIST system_dlls AND NOT name MATCHES "^api-ms-win-")
        list(APPEND bad ${dll})
    endif()
    message(STATUS "imports ${dll}")
endforeach()
if(bad)
    message(FATAL_ERROR "${MODULE} imports DLLs that are not part of Windows: ${bad}")
endif()

# The export name table: "\t[   0] Name" lines after "[Ordinal/Name Pointer] Table".
string(FIND "${dump}" "[Ordinal/Name Pointer] Table" at)
if(at LESS 0)
    message(FATAL_ERROR "${MODULE} exports nothing")
endif()
string(SUBSTRING "${dump}" ${at} -1 table)
string(REGEX MATCHALL "\n\t\\[ *[0-9]+\\] [^\n]+" lines "${table}")
set(exports "")
foreach(line IN LISTS lines)
    string(REGEX REPLACE "\n\t\\[ *[0-9]+\\] ([^\n]+)" "\\1" name "${line}")
    list(APPEND exports ${name})
endforeach()
list(SORT exports)
set(wanted ${EXPORTS})
list(SORT wanted)
if(NOT exports STREQUAL wanted)
    message(FATAL_ERROR "${MODULE} exports '${exports}', expected '${wanted}'")
endif()
message(STATUS "exports ${exports}")
