// The editor's text font. The art generator draws the captions with the same
// family, so fields, scale labels and captions match.
#pragma once

#include "pluginterfaces/base/fplatform.h"

namespace VSTGUI {

// Liberation Sans (Debian's fonts-liberation2) has the metrics of the
// Helvetica/Arial family that the layout was drawn for and is free, so every
// Linux machine draws the same pixels. Elsewhere the platform's Helvetica Neue.
inline const char* orvoEditorFontName ()
{
#if SMTG_OS_LINUX
	return "Liberation Sans";
#else
	return "Helvetica Neue";
#endif
}

} // namespace VSTGUI
