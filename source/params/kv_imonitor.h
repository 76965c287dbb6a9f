// kv_IMonitor: what the monitor's editor asks of its controller beyond the
// parameters (which it reads and edits through kv_IEffect, in plain values:
// degrees, dB, on/off).
#pragma once

#include "kv_ieffect.h"

namespace Steinberg {
namespace Vst {

class kv_IMonitor : public kv_IEffect
{
public:
	// The response set in use ("MIT KEMAR" for the built-in one), UTF-8,
	// always terminated within 'size'.
	virtual void getHrtfName (char* utf8, int32 size) = 0;
	// Empty, or one line saying why a chosen file is not in use.
	virtual void getHrtfNotice (char* utf8, int32 size) = 0;
	// The user chose a SOFA file (UTF-8 path), or "" for the built-in set.
	virtual void chooseHrtf (const char* utf8Path) = 0;
	// The loudspeakers of the input arrangement: fills up to 'max' azimuths
	// (degrees, left positive) and the LFE's index (-1 for none); returns
	// the count.
	virtual int32 getSpeakers (float* azimuthDeg, int32 max, int32* lfeIndex) = 0;
	// True when this build can read SOFA files (else only the built-in set).
	virtual bool canReadSofa () = 0;
};

} // namespace Vst
} // namespace Steinberg
