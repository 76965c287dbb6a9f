// Conversions of the parameter classes: plain <-> normalized, end points,
// thresholds, list bins, text in and out, and change notification.
#include "params/kv_vstparam.h"

#include "pluginterfaces/base/ustring.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

const double kInf = std::numeric_limits<double>::infinity ();
const double kNaN = std::numeric_limits<double>::quiet_NaN ();

std::string ascii (const TChar* s)
{
	std::string out;
	for (; *s; ++s)
		out += static_cast<char> (*s);
	return out;
}

std::u16string utf16 (const std::string& s)
{
	return std::u16string (s.begin (), s.end ());
}

// Counts change notifications (delivered through updateDone when no update
// handler is installed, as in this test).
template <class Base>
struct Counting : Base
{
	using Base::Base;
	int changes = 0;
	void updateDone (int32) override { ++changes; }
};

IPtr<kv_VSTParam> linear (double lo, double hi, double def = 0., const TChar* title = STR16 ("P"))
{
	return owned (new kv_VSTParam (title, 1, ParameterInfo::kCanAutomate, title, STR16 (""), lo, hi,
	                               def));
}

IPtr<kv_VSTParamWithEndPoints> gainParam (double lo = -25., double hi = 0.)
{
	return owned (new kv_VSTParamWithEndPoints (STR16 ("Gain"), 20, ParameterInfo::kCanAutomate,
	                                            STR16 ("Gain"), STR16 ("dB"), lo, hi, 0., -kInf,
	                                            0.));
}

const TChar* const kFormats[] = {STR16 ("Stereo"), STR16 ("3 Channels"), STR16 ("4 Channels"),
                                 STR16 ("5 Channels")};

IPtr<kv_VSTParamIndexed> listParam (int32 defaultIndex = 3)
{
	return owned (new kv_VSTParamIndexed (STR16 ("Output Format"), 6, ParameterInfo::kIsList,
	                                      STR16 ("Out Format"), STR16 (""), kFormats, 4,
	                                      defaultIndex));
}

} // namespace

//------------------------------------------------------------------------
TEST (ParamLinear, ClampsAndMapsBothDirections)
{
	auto p = linear (30., 90.);
	EXPECT_DOUBLE_EQ (p->toPlain (1.5), 90.);
	EXPECT_DOUBLE_EQ (p->toPlain (-0.2), 30.);
	EXPECT_DOUBLE_EQ (p->toPlain (0.5), 60.);
	EXPECT_DOUBLE_EQ (p->toNormalized (100.), 1.);
	EXPECT_DOUBLE_EQ (p->toNormalized (10.), 0.);
	EXPECT_NEAR (p->toNormalized (80.), 0.8333, 5e-5);
	EXPECT_DOUBLE_EQ (p->toNormalized (-kInf), 0.);
	EXPECT_DOUBLE_EQ (p->toNormalized (kInf), 1.);
}

TEST (ParamLinear, ReversedRange)
{
	auto p = linear (10., 0.);
	EXPECT_DOUBLE_EQ (p->toPlain (0.25), 7.5);
	EXPECT_DOUBLE_EQ (p->toPlain (0.), 10.);
	EXPECT_DOUBLE_EQ (p->toPlain (1.), 0.);
	EXPECT_DOUBLE_EQ (p->toNormalized (12.), 0.); // clamped to 10
	EXPECT_DOUBLE_EQ (p->toNormalized (-3.), 1.); // clamped to 0
	EXPECT_DOUBLE_EQ (p->toNormalized (2.5), 0.75);
}

TEST (ParamLinear, DefaultBecomesCurrentAndInfoValue)
{
	auto p = linear (0., 1.2, 1.);
	EXPECT_NEAR (p->getInfo ().defaultNormalizedValue, 1. / 1.2, 1e-15);
	EXPECT_DOUBLE_EQ (p->getNormalized (), p->getInfo ().defaultNormalizedValue);
	EXPECT_DOUBLE_EQ (p->getPlain (), 1.);
	EXPECT_EQ (p->getInfo ().stepCount, 0);
	EXPECT_EQ (p->getInfo ().unitId, 0);
	EXPECT_EQ (p->getInfo ().flags, ParameterInfo::kCanAutomate);
	EXPECT_EQ (p->getPrecision (), 4);
}

TEST (ParamLinear, NonFiniteInputNeverStoresNaN)
{
	auto p = linear (0., 50., 20.);
	const double before = p->getNormalized ();
	EXPECT_FALSE (p->setNormalized (kNaN));
	EXPECT_FALSE (p->setPlain (kNaN));
	EXPECT_DOUBLE_EQ (p->getNormalized (), before);
	EXPECT_DOUBLE_EQ (p->toPlain (kNaN), 0.);
	EXPECT_TRUE (p->setPlain (kInf));
	EXPECT_DOUBLE_EQ (p->getNormalized (), 1.);
	auto flat = linear (5., 5., 5.);
	EXPECT_DOUBLE_EQ (flat->toNormalized (5.), 0.);
}

TEST (ParamLinear, ChangeNotificationOnlyOnRealChange)
{
	IPtr<Counting<kv_VSTParam>> p = owned (new Counting<kv_VSTParam> (
	    STR16 ("P"), 1, 0, STR16 ("P"), STR16 (""), 0., 10., 5.));
	EXPECT_TRUE (p->setPlain (7.5));
	EXPECT_EQ (p->changes, 1);
	EXPECT_FALSE (p->setPlain (7.5));
	EXPECT_FALSE (p->setNormalized (0.75));
	EXPECT_EQ (p->changes, 1);
	EXPECT_TRUE (p->setNormalized (3.)); // clamped to 1
	EXPECT_FALSE (p->setNormalized (1.));
	EXPECT_EQ (p->changes, 2);
	EXPECT_FALSE (p->setNormalized (kNaN));
	EXPECT_EQ (p->changes, 2);
}

//------------------------------------------------------------------------
TEST (ParamEndPoints, GainEndsAreSilenceAndUnity)
{
	auto g = gainParam ();
	EXPECT_EQ (g->toPlain (0.), -kInf);
	EXPECT_EQ (g->toPlain (-0.1), -kInf);
	EXPECT_EQ (g->toPlain (kNaN), -kInf);
	EXPECT_DOUBLE_EQ (g->toPlain (1.), 0.);
	EXPECT_DOUBLE_EQ (g->toPlain (0.5), -12.5);
	EXPECT_DOUBLE_EQ (g->toPlain (1e-9), -25. + 25e-9); // no clamping inside the range
	EXPECT_DOUBLE_EQ (g->toNormalized (-kInf), 0.);
	EXPECT_DOUBLE_EQ (g->toNormalized (0.), 1.);
	EXPECT_DOUBLE_EQ (g->getInfo ().defaultNormalizedValue, 1.);
	EXPECT_TRUE (g->setPlain (-kInf));
	EXPECT_EQ (g->getPlain (), -kInf);
	EXPECT_DOUBLE_EQ (g->getNormalized (), 0.);
}

TEST (ParamEndPoints, ReversedRangeSwapsWhichEndIsWhich)
{
	// Plain 0 at normalized 0, -25 at normalized 1: the numerically lower end
	// (-25, minus infinity) is now at normalized 1.
	auto g = gainParam (0., -25.);
	EXPECT_EQ (g->toPlain (1.), -kInf);
	EXPECT_DOUBLE_EQ (g->toPlain (0.), 0.);
	EXPECT_DOUBLE_EQ (g->toPlain (0.2), -5.);
	EXPECT_DOUBLE_EQ (g->toNormalized (-kInf), 1.);
}

//------------------------------------------------------------------------
TEST (ParamAngle, RadiansUseTheDegreeRange)
{
	auto a = owned (new kv_VSTParamAngle (STR16 ("Direction"), 13, 0, STR16 ("Direction"),
	                                      STR16 ("deg"), -180., 180., 0.));
	EXPECT_DOUBLE_EQ (a->getNormalized (), 0.5);
	EXPECT_DOUBLE_EQ (a->toPlain (0.), -180.);
	EXPECT_DOUBLE_EQ (a->toPlain (1.), 180.);
	EXPECT_TRUE (a->setRadians (3.141592653589793 / 2.));
	EXPECT_NEAR (a->getPlain (), 90., 1e-12);
	EXPECT_NEAR (a->getRadians (), 3.141592653589793 / 2., 1e-12);
	EXPECT_TRUE (a->setRadians (-10.)); // beyond -180 degrees: clamped
	EXPECT_DOUBLE_EQ (a->getPlain (), -180.);
}

//------------------------------------------------------------------------
TEST (ParamBool, ThresholdIsTheSameBothWays)
{
	auto b = owned (new kv_VSTParamBool (STR16 ("Mute C"), 18, 0, false, STR16 ("Mute C")));
	EXPECT_DOUBLE_EQ (b->toNormalized (0.49), 0.);
	EXPECT_DOUBLE_EQ (b->toNormalized (0.5), 1.);
	EXPECT_DOUBLE_EQ (b->toPlain (0.49), 0.);
	EXPECT_DOUBLE_EQ (b->toPlain (0.7), 1.);
	EXPECT_FALSE (b->getBool ());
	EXPECT_TRUE (b->setNormalized (0.6));
	EXPECT_TRUE (b->getBool ());
	EXPECT_DOUBLE_EQ (b->getPlain (), 1.);
	EXPECT_TRUE (b->setBool (false));
	EXPECT_FALSE (b->setBool (false));
	EXPECT_DOUBLE_EQ (b->getNormalized (), 0.);
	EXPECT_EQ (b->getInfo ().stepCount, 1); // a toggle for hosts
	EXPECT_EQ (b->getInfo ().units[0], 0);

	auto on = owned (new kv_VSTParamBool (STR16 ("Beamshaping"), 1, 0, true, STR16 ("B")));
	EXPECT_TRUE (on->getBool ());
	EXPECT_DOUBLE_EQ (on->getInfo ().defaultNormalizedValue, 1.);
}

//------------------------------------------------------------------------
TEST (ParamIndexed, BinsAndIndex)
{
	auto l = listParam ();
	EXPECT_EQ (l->getInfo ().stepCount, 3);
	EXPECT_EQ (l->getEntryCount (), 4);
	EXPECT_DOUBLE_EQ (l->getInfo ().defaultNormalizedValue, 1.);
	EXPECT_DOUBLE_EQ (l->getNormalized (), 1.);
	EXPECT_EQ (l->getIndex (), 3);

	const struct
	{
		double normalized, plain;
	} bins[] = {{0., 0.}, {0.2499, 0.}, {0.25, 1.}, {0.4999, 1.}, {0.5, 2.},
	            {0.74, 2.}, {0.75, 3.}, {1., 3.}, {1.7, 3.}, {-0.3, 0.}};
	for (const auto& b : bins)
		EXPECT_DOUBLE_EQ (l->toPlain (b.normalized), b.plain) << "normalized " << b.normalized;

	EXPECT_NEAR (l->toNormalized (2.), 0.6667, 5e-5);
	EXPECT_TRUE (l->setNormalized (0.6667));
	EXPECT_EQ (l->getIndex (), 2);
	EXPECT_TRUE (l->setPlain (1.));
	EXPECT_EQ (l->getIndex (), 1);

	auto first = listParam (1);
	EXPECT_NEAR (first->getInfo ().defaultNormalizedValue, 1. / 3., 1e-15);
	EXPECT_EQ (first->getIndex (), 1);
}

TEST (ParamIndexed, EntryTextsNeverIndexOutOfRange)
{
	auto l = listParam ();
	String128 text {};
	l->toString (1., text);
	EXPECT_EQ (ascii (text), "5 Channels");
	l->toString (0.2, text);
	EXPECT_EQ (ascii (text), "Stereo");
	l->toString (0.5, text);
	EXPECT_EQ (ascii (text), "4 Channels");
	// Outside [0, 1] the list's ends are named.
	l->toString (-0.5, text);
	EXPECT_EQ (ascii (text), "Stereo");
	l->toString (kNaN, text);
	EXPECT_EQ (ascii (text), "Stereo");
	l->toString (2., text);
	EXPECT_EQ (ascii (text), "5 Channels");

	TChar name[64];
	EXPECT_TRUE (l->getEntryName (1, 64, name));
	EXPECT_EQ (ascii (name), "3 Channels");
	EXPECT_TRUE (l->getEntryName (1, 4, name)); // cut to the capacity, terminated
	EXPECT_EQ (ascii (name), "3 C");
	EXPECT_TRUE (l->getEntryName (0, 0, nullptr));
	EXPECT_FALSE (l->getEntryName (4, 64, name));
	EXPECT_FALSE (l->getEntryName (-1, 64, name));
}

TEST (ParamIndexed, TextInputReadsEntryNamesAndIndices)
{
	auto l = listParam ();
	ParamValue out = 0.123;
	EXPECT_TRUE (l->fromString (utf16 (" 4 channels ").c_str (), out));
	EXPECT_DOUBLE_EQ (out, 2. / 3.);
	EXPECT_TRUE (l->fromString (utf16 ("STEREO").c_str (), out));
	EXPECT_DOUBLE_EQ (out, 0.);
	EXPECT_TRUE (l->fromString (utf16 ("1").c_str (), out));
	EXPECT_DOUBLE_EQ (out, 1. / 3.);

	// Anything else is refused, untouched and without a word on the console.
	out = 0.123;
	testing::internal::CaptureStderr ();
	for (const char* text : {"", "Mono", "4 Chan", "2.5", "4", "-1", "nan", "3 x"})
		EXPECT_FALSE (l->fromString (utf16 (text).c_str (), out)) << text;
	EXPECT_FALSE (l->fromString (nullptr, out));
	EXPECT_EQ (testing::internal::GetCapturedStderr (), "");
	EXPECT_DOUBLE_EQ (out, 0.123);
}

//------------------------------------------------------------------------
TEST (ParamText, NumberFirstThenAnything)
{
	auto p = linear (0., 50.);
	ParamValue out = -1.;
	EXPECT_TRUE (p->fromString (utf16 (" 42.5 ms").c_str (), out));
	EXPECT_DOUBLE_EQ (out, 0.85);
	EXPECT_TRUE (p->fromString (utf16 ("1e1").c_str (), out));
	EXPECT_DOUBLE_EQ (out, 0.2);
	EXPECT_TRUE (p->fromString (utf16 ("75").c_str (), out)); // plain value, clamped
	EXPECT_DOUBLE_EQ (out, 1.);

	out = 0.321;
	EXPECT_FALSE (p->fromString (utf16 ("abc").c_str (), out));
	EXPECT_FALSE (p->fromString (utf16 ("").c_str (), out));
	EXPECT_FALSE (p->fromString (utf16 ("nan").c_str (), out));
	EXPECT_FALSE (p->fromString (nullptr, out));
	EXPECT_DOUBLE_EQ (out, 0.321);

	auto g = gainParam ();
	EXPECT_TRUE (g->fromString (utf16 ("-inf dB").c_str (), out));
	EXPECT_DOUBLE_EQ (out, 0.);
	EXPECT_TRUE (g->fromString (utf16 ("-6").c_str (), out));
	EXPECT_DOUBLE_EQ (out, 19. / 25.);

	// Switches read numbers by their threshold, and their own words.
	auto b = owned (new kv_VSTParamBool (STR16 ("B"), 1, 0, false, STR16 ("B")));
	EXPECT_TRUE (b->fromString (utf16 ("0.7").c_str (), out));
	EXPECT_DOUBLE_EQ (out, 1.);
	EXPECT_TRUE (b->fromString (utf16 (" off").c_str (), out));
	EXPECT_DOUBLE_EQ (out, 0.);
	EXPECT_TRUE (b->fromString (utf16 ("ON").c_str (), out));
	EXPECT_DOUBLE_EQ (out, 1.);
	EXPECT_FALSE (b->fromString (utf16 ("once").c_str (), out));
}

TEST (ParamText, NumbersReadTheSameWhateverTheLocaleWritesAndSign)
{
	// Hosts in a decimal-comma locale send what they show; a typographic
	// minus or an infinity sign are what some hosts print.
	auto p = linear (-10., 10.);
	ParamValue out = -1.;
	EXPECT_TRUE (p->fromString (utf16 ("2,5 dB").c_str (), out));
	EXPECT_DOUBLE_EQ (out, 0.625);
	EXPECT_TRUE (p->fromString (u"\u2212" u"5", out));
	EXPECT_DOUBLE_EQ (out, 0.25);
	EXPECT_TRUE (p->fromString (utf16 ("+.5e1").c_str (), out));
	EXPECT_DOUBLE_EQ (out, 0.75);
	EXPECT_TRUE (p->fromString (utf16 ("-Infinity").c_str (), out));
	EXPECT_DOUBLE_EQ (out, 0.);
	for (const char* text : {"-", "+", ".", "e5", "infinite", "--1"})
		EXPECT_FALSE (p->fromString (utf16 (text).c_str (), out)) << text;

	auto g = gainParam ();
	EXPECT_TRUE (g->fromString (u"-\u221E", out));
	EXPECT_DOUBLE_EQ (out, 0.);
	// Typing the fader's lowest number gives that level, not silence.
	EXPECT_TRUE (g->fromString (utf16 ("-25").c_str (), out));
	EXPECT_GT (out, 0.);
	EXPECT_NEAR (g->toPlain (out), -25., 1e-4);
	EXPECT_TRUE (g->fromString (utf16 ("-40").c_str (), out));
	EXPECT_NEAR (g->toPlain (out), -25., 1e-4);
}

TEST (ParamText, HostTextIsThePlainValueInItsUnits)
{
	auto w = owned (new kv_VSTParamAngle (STR16 ("Width"), 8, 0, STR16 ("Width"), STR16 ("deg"),
	                                      30., 90., 80.));
	w->setValueText ({kv_ValueText::kNumber, 0, 1., false});
	String128 text {};
	w->toString (w->getNormalized (), text);
	EXPECT_EQ (ascii (text), "80");
	w->toString (0.999, text);
	EXPECT_EQ (ascii (text), "90");

	auto ms = linear (0., 0.05, 0.02);
	ms->setValueText ({kv_ValueText::kNumber, 1, 1000., false});
	ms->toString (ms->getNormalized (), text);
	EXPECT_EQ (ascii (text), "20.0");
	ParamValue out = -1.;
	EXPECT_TRUE (ms->fromString (utf16 ("35 ms").c_str (), out));
	EXPECT_DOUBLE_EQ (ms->toPlain (out), 0.035);

	// Signed texts: zero carries a plus, never a minus, however it is reached.
	auto d = linear (-10., 10.);
	d->setValueText ({kv_ValueText::kNumber, 1, 1., true});
	d->toString (0.5, text);
	EXPECT_EQ (ascii (text), "+0.0");
	d->toString (0.4999, text);
	EXPECT_EQ (ascii (text), "+0.0");
	d->toString (0.25, text);
	EXPECT_EQ (ascii (text), "-5.0");

	auto g = gainParam ();
	g->setValueText ({kv_ValueText::kNumber, 1, 1., false});
	g->toString (0., text);
	EXPECT_EQ (std::u16string (text), u"-\u221E");
	g->toString (0.5, text);
	EXPECT_EQ (ascii (text), "-12.5");

	auto level = linear (0., 1.);
	level->setValueText ({kv_ValueText::kLevelDb, 1, 1., false, " dBFS"});
	level->toString (0.5, text);
	EXPECT_EQ (ascii (text), "-6.0 dBFS");
	level->toString (0., text);
	EXPECT_EQ (std::u16string (text), u"-\u221E dBFS");
	EXPECT_TRUE (level->fromString (utf16 ("-6.0 dBFS").c_str (), out));
	EXPECT_NEAR (out, 0.5, 2e-3); // -6.0 dB is 0.5012

	auto b = owned (new kv_VSTParamBool (STR16 ("B"), 1, 0, true, STR16 ("B")));
	b->toString (b->getNormalized (), text);
	EXPECT_EQ (ascii (text), "On");
	b->toString (0.2, text);
	EXPECT_EQ (ascii (text), "Off");
}

TEST (ParamText, LongTitlesAreCutTo127Units)
{
	const std::u16string longTitle (200, u'x');
	const std::u16string longUnits (130, u'u');
	auto p = owned (new kv_VSTParam (longTitle.c_str (), 1, 0, longTitle.c_str (),
	                                 longUnits.c_str (), 0., 1., 0.));
	const ParameterInfo& info = p->getInfo ();
	EXPECT_EQ (ascii (info.title), std::string (127, 'x'));
	EXPECT_EQ (ascii (info.shortTitle), std::string (127, 'x'));
	EXPECT_EQ (ascii (info.units), std::string (127, 'u'));

	auto n = owned (new kv_VSTParam (STR16 ("T"), 1, 0, nullptr, nullptr, 0., 1., 0.));
	EXPECT_EQ (n->getInfo ().shortTitle[0], 0);
	EXPECT_EQ (n->getInfo ().units[0], 0);
}
