#include "params/orvoambixparams.h"

#include "params/kv_vstparam.h"

#include <new>

namespace Steinberg {
namespace Vst {

namespace {

constexpr int32 A = ParameterInfo::kCanAutomate;
constexpr int32 W = ParameterInfo::kIsWrapAround;

bool add (ParameterContainer& container, kv_VSTParam* p, const kv_ValueText& text = kv_ValueText {})
{
	if (!p)
		return false;
	p->setUnitID (kRootUnitId);
	p->setValueText (text);
	container.addParameter (p);
	return true;
}

} // namespace

bool createAmbixParameters (ParameterContainer& container)
{
	try
	{
		// The decoder's Direction: the same range, turn, wrap and text
		// ("-45" deg), so that one value means one look in both classes.
		const kv_ValueText wholeDegrees {kv_ValueText::kNumber, 0, 1., false};
		bool ok = add (container,
		               new (std::nothrow) kv_VSTParamAngle (STR16 ("Direction"), kAmbDirection, A | W,
		                                                    STR16 ("Direction"), STR16 ("deg"), -180.,
		                                                    180., 0.),
		               wholeDegrees);
		ok = ok && add (container, new (std::nothrow) kv_VSTParamBool (
		                               STR16 ("Bypass"), kAmbBypass, A | ParameterInfo::kIsBypass,
		                               false, STR16 ("Bypass")));
		return ok;
	}
	catch (const std::bad_alloc&)
	{
		return false;
	}
}

} // namespace Vst
} // namespace Steinberg
