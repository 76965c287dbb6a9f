// The plug-in's unit conversions, each in one place: angles, decibels,
// milliseconds, and the angles of the front and rear microphone pairs that
// the engine's width solution takes.
//
// Parameters hold degrees (counter-clockwise from the front), seconds for
// the rear delay and decibels for the gains; the engine takes radians,
// milliseconds and linear levels.
#pragma once

#include <cmath>
#include <limits>

namespace Steinberg {
namespace Vst {
namespace orvo_units {

constexpr double kPi = 3.141592653589793;
// 1/π as the angle parameters have always converted back with it.
constexpr double kInvPi = 0.3183098861837907;
// Single-precision π and 1/π widened to double. The widths are formed with
// these, as the first builds did, so the Rear Width that the controller
// derives from a Width is exactly the inverse of what the processor hands
// the engine for it.
constexpr double kPiFloat = 3.1415927410125732;
constexpr double kInvPiFloat = 0.31830987334251404;

inline double degreesToRadians (double degrees)
{
	return degrees * kPi / 180.;
}

inline double radiansToDegrees (double radians)
{
	return radians * 180. * kInvPi;
}

inline double secondsToMs (double seconds)
{
	return seconds * 1000.;
}

// Decibels and linear levels: minus infinity dB is silence, and silence
// reads minus infinity.
inline double dbToLevel (double db)
{
	return db == -std::numeric_limits<double>::infinity () ? 0. : std::pow (10., db / 20.);
}

inline double levelToDb (double level)
{
	return level > 0. ? 20. * std::log10 (level) : -std::numeric_limits<double>::infinity ();
}

// Width and Rear Width are half-angles of the front and rear pairs (degrees);
// the engine takes full opening angles in radians, the rear one measured
// from the back.
inline float frontOpening (double widthDegrees)
{
	return static_cast<float> (2.0 * widthDegrees * kPiFloat / 180.0);
}

inline float rearOpening (double rearWidthDegrees)
{
	return static_cast<float> (2.0 * (180.0 - rearWidthDegrees) * kPiFloat / 180.0);
}

// The Rear Width (degrees) whose rear opening is 'openingRadians': the
// inverse of rearOpening.
inline double rearWidthForOpening (float openingRadians)
{
	return (kPi - static_cast<double> (openingRadians) * 0.5) * 180.0 * kInvPiFloat;
}

} // namespace orvo_units
} // namespace Vst
} // namespace Steinberg
