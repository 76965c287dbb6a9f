#include "params/orvoparammap.h"

#include "params/orvoparams.h"
#include "params/orvounits.h"

namespace Steinberg {
namespace Vst {
namespace {

struct PlainReader
{
	ParameterContainer& parameters;

	// The parameter's plain value, or 'fallback' when it is missing.
	double plain (ParamID id, double fallback = 0.0) const
	{
		Parameter* p = parameters.getParameter (id);
		return p ? p->toPlain (p->getNormalized ()) : fallback;
	}
	bool on (ParamID id) const { return plain (id) >= 0.5; }
};

void setFlag (uint32_t& flags, uint32_t bit, bool set)
{
	flags = set ? (flags | bit) : (flags & ~bit);
}

} // namespace

void applyParameters (ParameterContainer& parameters, sfm_state* engineState,
                      sfm_params* engineParams)
{
	if (!engineParams)
		return;
	const PlainReader read {parameters};
	sfm_params& p = *engineParams;

	setFlag (p.flags, SFM_FLAG_BEAMSHAPING_OFF, !read.on (kParamBeamshaping));
	setFlag (p.flags, SFM_FLAG_DIFFUSER, read.on (kParamDiffuser));
	setFlag (p.flags, SFM_FLAG_REAR_WIDTH, read.on (kParamRearWidthOn));
	setFlag (p.flags, SFM_FLAG_REAR_DELAY, read.on (kParamRearDelayOn));
	setFlag (p.flags, SFM_FLAG_REAR_LOWPASS, read.on (kParamRearLowpassOn));

	// Output format: which of the centre and surround channels the decode has.
	const double format = read.plain (kParamOutFormat, 3.0);
	if (format >= 0.0 && format < 4.0)
	{
		switch (static_cast<int32> (format))
		{
			case 0: // stereo: front pair only
				setFlag (p.flags, SFM_FLAG_NO_CENTRE, true);
				setFlag (p.flags, SFM_FLAG_NO_SURROUND, true);
				break;
			case 1: // L, C, R
				setFlag (p.flags, SFM_FLAG_NO_CENTRE, false);
				setFlag (p.flags, SFM_FLAG_NO_SURROUND, true);
				break;
			case 2: // L, R, Ls, Rs
				setFlag (p.flags, SFM_FLAG_NO_CENTRE, true);
				setFlag (p.flags, SFM_FLAG_NO_SURROUND, false);
				break;
			default: // all five
				setFlag (p.flags, SFM_FLAG_NO_CENTRE, false);
				setFlag (p.flags, SFM_FLAG_NO_SURROUND, false);
				break;
		}
	}

	// Width and Rear Width are half-angles of the front and rear pairs; the
	// engine takes full opening angles, the rear one measured from the back.
	const float width = static_cast<float> (read.plain (kParamWidth, 80.0));
	const float rearWidth = static_cast<float> (read.plain (kParamRearWidth, 150.0));
	const float widthAngle = orvo_units::frontOpening (width);
	const float rearAngle = orvo_units::rearOpening (rearWidth);
	if (engineState)
		sfm_solve_width (p, widthAngle, &p.widthCoef, nullptr, rearAngle, &p.rearWidthCoef);

	p.focus = static_cast<float> (read.plain (kParamFocus, 1.0));
	p.rearDelay = static_cast<float> (orvo_units::secondsToMs (read.plain (kParamRearDelay, 0.02)));
	p.rearLowpass = static_cast<float> (read.plain (kParamRearLowpass, 3500.0));
	p.diffGainDb = static_cast<float> (read.plain (kParamDiffuseGain));
	// The parameter turns clockwise, the engine counter-clockwise.
	p.direction = static_cast<float> (-read.plain (kParamDirection));
	p.micResponseLR = static_cast<float> (read.plain (kParamMicResponseLR));
	p.micResponseC = static_cast<float> (read.plain (kParamMicResponseC));
	p.micResponseLsRs = static_cast<float> (read.plain (kParamMicResponseLsRs));
	p.gainLR = static_cast<float> (read.plain (kParamGainLR));
	p.gainC = static_cast<float> (read.plain (kParamGainC));
	p.gainLsRs = static_cast<float> (read.plain (kParamGainLsRs));
	p.muteLR = read.on (kParamMuteLR) ? 1 : 0;
	p.muteC = read.on (kParamMuteC) ? 1 : 0;
	p.muteLsRs = read.on (kParamMuteLsRs) ? 1 : 0;
}

double rearWidthForWidth (const sfm_params& engineParams, double widthDegrees)
{
	float widthCoef = 0.f;
	float rear = 0.f;
	sfm_solve_width (engineParams, orvo_units::frontOpening (widthDegrees), &widthCoef, &rear, 0.f, nullptr);
	return orvo_units::rearWidthForOpening (rear);
}

} // namespace Vst
} // namespace Steinberg
