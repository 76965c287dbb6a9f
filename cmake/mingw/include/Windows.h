// The Windows SDK's header is <windows.h>; some SDK sources spell it
// <Windows.h>, which only a case-insensitive file system finds. MinGW's
// headers live on the build machine's case-sensitive file system.
#pragma once
#include <windows.h>
