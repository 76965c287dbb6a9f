// The plug-in's controller as orvotool drives it: its parameters as a DAW's
// parameter fields show them (IEditController), and, through the tool
// interface (IOrvoToolAccess), the editor's linked edits, the Output Format
// preset rows and the polar response. The tool interface's version is
// checked when the controller opens.
#pragma once

#include "plugin.h"

#include "params/orvoparams.h"
#include "params/orvotoolaccess.h"

#include <array>
#include <string>
#include <vector>

namespace orvotool {

// The user's settings (saved and decoded); the meters and the host's bypass
// come after them.
constexpr ParamID kFirstSetting = kParamBeamshaping;
constexpr ParamID kLastSetting = kParamGainLsRs;
constexpr int kNumSettings = kNumUserParams;

// Normalized values of the settings, index id - kFirstSetting.
using SettingValues = std::array<ParamValue, kNumSettings>;
inline ParamValue& valueOf (SettingValues& v, ParamID id) { return v[id - kFirstSetting]; }
inline ParamValue valueOf (const SettingValues& v, ParamID id) { return v[id - kFirstSetting]; }

// The tool interface's version this orvotool was built for, "1.0".
std::string toolAccessVersion ();

// One parameter as the host sees it.
struct ParamDesc
{
	ParameterInfo info {};
	std::string title, shortTitle, units;

	bool isList () const { return info.stepCount > 1; }
	bool isSwitch () const { return info.stepCount == 1; }
};

class Controller
{
public:
	~Controller ();
	// Creates the controller and checks that it offers the tool interface of
	// this build's major version; false with a message naming both versions.
	bool open (Plugin& plugin, std::string& error);

	const std::vector<ParamDesc>& params () const { return descs; }
	const ParamDesc* find (ParamID id) const;
	// By title or short title, compared by nameKey (any case, blanks ignored).
	const ParamDesc* findByTitle (const std::string& name) const;

	// The host's text of a normalized value (with its units if asked).
	std::string text (ParamID id, ParamValue normalized, bool withUnits = false);
	// The host's reading of a text; false when it reads none.
	bool fromText (ParamID id, const std::string& text, ParamValue& normalized);
	ParamValue normalized (ParamID id) { return controller->getParamNormalized (id); }
	ParamValue toPlain (ParamID id, ParamValue normalized);
	ParamValue toNormalized (ParamID id, ParamValue plain);
	ParamValue plain (ParamID id) { return toPlain (id, normalized (id)); }
	// The current Output Format's list index.
	int outputFormat ();

	// Sets a setting as the editor does (a format loads its row, Rear Width
	// follows Width).
	void edit (ParamID id, ParamValue normalized);
	SettingValues settings ();

	// The Output Format preset rows, one per format.
	int formatPresetCount ();
	SettingValues formatPreset (int row);

	// The polar response of the current settings; false with a message when
	// the plug-in's record is of another version.
	bool response (OrvoResponseRecord& record, std::string& error);

	// Reads a preset file's processor state into the controller. False with a
	// message for an unreadable file or a preset of another plug-in.
	bool loadPreset (const std::string& path, const VST3::UID& effectClass, std::string& error);

private:
	bool openToolAccess (const std::string& bundle, std::string& error);
	void readParameters ();

	IPtr<IEditController> controller;
	IPtr<IOrvoToolAccess> access;
	std::vector<ParamDesc> descs;
};

} // namespace orvotool
