// The editor's text font. The art generator draws the captions with the same
// family, so fields, scale labels and captions match.
#pragma once

#include "pluginterfaces/base/fplatform.h"

namespace VSTGUI {

// Liberation Sans (Debian's fonts-liberation2) has the metrics of the
// Helvetica/Arial family that the layout was drawn for and is free, so every
// Linux machine draws the same pixels. Windows has Arial, of the same metrics,
// on every installation (Helvetica Neue, which macOS has, it does not); macOS
// its Helvetica Neue.
inline const char* orvoEditorFontName ()
{
#if SMTG_OS_LINUX
	return "Liberation Sans";
#elif SMTG_OS_WINDOWS
	return "Arial";
#else
	return "Helvetica Neue";
#endif
}

} // namespace VSTGUI
